# quillbay-logkeeper: keeps each service's log under its cap; installed beside the program, which starts
# one per service run. Plain C++: it links nothing but the C library.
add_executable(quillbay-logkeeper tools/logkeeper/main.cpp src/platform/LogCap.cpp src/platform/LogCap.h)
target_include_directories(quillbay-logkeeper PRIVATE src)
install(TARGETS quillbay-logkeeper RUNTIME DESTINATION bin)

foreach(t tst_ServiceLogs tst_ServiceProcesses tst_ServiceAdoption bench_Commands)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-logkeeper)
    target_compile_definitions(${t} PRIVATE QUILLBAY_LOGKEEPER="$<TARGET_FILE:quillbay-logkeeper>")
  endif()
endforeach()
