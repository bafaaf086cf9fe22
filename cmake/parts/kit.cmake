# The developer kit: HEIF/HEIC images through libheif, screen text through Tesseract.
pkg_check_modules(LIBHEIF REQUIRED IMPORTED_TARGET libheif)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
target_link_libraries(quillbay_core PUBLIC PkgConfig::LIBHEIF PkgConfig::TESSERACT)
