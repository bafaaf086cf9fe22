# The developer kit: HEIF/HEIC images through libheif, screen text through Tesseract.
pkg_check_modules(LIBHEIF REQUIRED IMPORTED_TARGET libheif)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
# libheif and its codecs (x265, aom, dav1d, libde265) are a module of their own: most users never convert
# an image, and the codecs' relocations alone are a quarter of a megabyte of memory.
quillbay_seam_module(quillbay_heif quillbay-heif libheif LIBS PkgConfig::LIBHEIF TESTS tst_ImageConverter bench_Kit)
# Tesseract's OpenMP runtime, only to keep one recognition on one thread (no -fopenmp for our own code).
find_package(OpenMP REQUIRED COMPONENTS CXX)
quillbay_seam_module(quillbay_ocr quillbay-ocr tesseract
  LIBS PkgConfig::TESSERACT ${OpenMP_CXX_LIBRARIES} TESTS tst_TextRecognition bench_Kit)

# Another program that drags files onto the island, for the drop tests on a real X server.
add_executable(quillbay-drag-source tests/x11/helpers/DragSource.cpp)
target_link_libraries(quillbay-drag-source PRIVATE Qt6::Widgets)
if(TARGET tst_IslandDrops)
  add_dependencies(tst_IslandDrops quillbay-drag-source)
  target_compile_definitions(tst_IslandDrops PRIVATE QUILLBAY_DRAG_SOURCE="$<TARGET_FILE:quillbay-drag-source>")
endif()
