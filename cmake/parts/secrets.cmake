# The Secret Service (libsecret) for reading another tool's sign-in token from the desktop's keyring.
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
quillbay_seam_module(quillbay_secrets quillbay-secrets libsecret LIBS PkgConfig::LIBSECRET TESTS tst_SecretServiceLookup)
