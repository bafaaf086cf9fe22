# The island's pointer reading listens for XInput 2 raw motion, so that an idle tick needs no round trip.
pkg_check_modules(XCB_XINPUT REQUIRED IMPORTED_TARGET xcb-xinput)
target_link_libraries(quillbay_platform PUBLIC PkgConfig::XCB_XINPUT)
