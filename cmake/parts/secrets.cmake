# The Secret Service (libsecret) for reading another tool's sign-in token from the desktop's keyring.
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
target_link_libraries(quillbay_core PUBLIC PkgConfig::LIBSECRET)
