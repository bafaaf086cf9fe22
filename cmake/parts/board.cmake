# The focus timer's end sound: the desktop sound theme through libcanberra, the X bell otherwise.
pkg_check_modules(CANBERRA REQUIRED IMPORTED_TARGET libcanberra)
quillbay_seam_module(quillbay_sound quillbay-sound canberra LIBS PkgConfig::CANBERRA PkgConfig::XCB)
