# The developer kit: HEIF/HEIC images through libheif, screen text through Tesseract.
pkg_check_modules(LIBHEIF REQUIRED IMPORTED_TARGET libheif)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
target_link_libraries(quillbay_core PUBLIC PkgConfig::LIBHEIF PkgConfig::TESSERACT)
# Tesseract's OpenMP runtime, only to keep one recognition on one thread (no -fopenmp for our own code).
find_package(OpenMP REQUIRED COMPONENTS CXX)
target_link_libraries(quillbay_core PUBLIC ${OpenMP_CXX_LIBRARIES})

# Opt-in libFuzzer target over the text tools (clang only), like the feed reader's:
#   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQUILLBAY_FUZZ=ON && cmake --build build-fuzz --target fuzz_KitTools
#   build-fuzz/fuzz_KitTools -max_total_time=60 -max_len=65536 -rss_limit_mb=1024 -timeout=10
if(QUILLBAY_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(fuzz_KitTools fuzz/fuzz_KitTools.cpp src/services/KitTools.cpp src/services/JsonPrettyPrinter.cpp
                 src/services/QRCode.cpp)
  target_include_directories(fuzz_KitTools PRIVATE src)
  target_compile_options(fuzz_KitTools PRIVATE -fsanitize=fuzzer,address,undefined -g)
  target_link_options(fuzz_KitTools PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_KitTools PRIVATE Qt6::Core Qt6::Gui PkgConfig::QRENCODE)
endif()

# Another program that drags files onto the island, for the drop tests on a real X server.
add_executable(quillbay-drag-source tests/x11/helpers/DragSource.cpp)
target_link_libraries(quillbay-drag-source PRIVATE Qt6::Widgets)
if(TARGET tst_IslandDrops)
  add_dependencies(tst_IslandDrops quillbay-drag-source)
  target_compile_definitions(tst_IslandDrops PRIVATE QUILLBAY_DRAG_SOURCE="$<TARGET_FILE:quillbay-drag-source>")
endif()
