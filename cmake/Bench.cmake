# Every bench/bench_*.cpp becomes one Google Benchmark executable; `make bench` runs them. Not part of CTest.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  # Shared by the benchmarks that drive the built program on a private X server.
  add_library(quillbay_benchsupport STATIC EXCLUDE_FROM_ALL bench/support/ProgramRun.cpp)
  target_include_directories(quillbay_benchsupport PUBLIC bench)
  target_link_libraries(quillbay_benchsupport PUBLIC quillbay_fakes)

  file(GLOB QUILLBAY_BENCHES CONFIGURE_DEPENDS bench/bench_*.cpp)
  foreach(b IN LISTS QUILLBAY_BENCHES)
    get_filename_component(name ${b} NAME_WE)
    add_executable(${name} EXCLUDE_FROM_ALL ${b})
    target_link_libraries(${name} PRIVATE quillbay_benchsupport quillbay_fakes benchmark::benchmark)
    list(APPEND QUILLBAY_BENCH_TARGETS ${name})
  endforeach()
  add_custom_target(benches DEPENDS ${QUILLBAY_BENCH_TARGETS})
endif()
