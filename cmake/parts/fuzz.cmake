# Opt-in libFuzzer target for the feed reader (clang only):
#   cmake -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQUILLBAY_FUZZ=ON && cmake --build build-fuzz --target fuzz_FeedParser
#   build-fuzz/fuzz_FeedParser -max_total_time=60 -rss_limit_mb=512 tests/fixtures/feeds
option(QUILLBAY_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(QUILLBAY_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(fuzz_FeedParser fuzz/fuzz_FeedParser.cpp src/services/FeedParser.cpp)
  target_include_directories(fuzz_FeedParser PRIVATE src)
  target_compile_options(fuzz_FeedParser PRIVATE -fsanitize=fuzzer,address -g)
  target_link_options(fuzz_FeedParser PRIVATE -fsanitize=fuzzer,address)
  target_link_libraries(fuzz_FeedParser PRIVATE Qt6::Core)
endif()
