# The focus timer's end sound: the desktop sound theme through libcanberra, the X bell otherwise.
pkg_check_modules(CANBERRA REQUIRED IMPORTED_TARGET libcanberra)
target_link_libraries(quillbay_core PUBLIC PkgConfig::CANBERRA)
