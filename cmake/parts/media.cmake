# The output volume from a Pulse sound server.
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
target_link_libraries(quillbay_core PUBLIC PkgConfig::PULSE)
