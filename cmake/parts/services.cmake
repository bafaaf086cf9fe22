# Helper executables for the service tests: a small server that listens on two ports.
add_executable(listen_host tests/helpers/listen_host.cpp)

foreach(t tst_ProcessTable)
  if(TARGET ${t})
    add_dependencies(${t} listen_host)
    target_compile_definitions(${t} PRIVATE LISTEN_HOST="$<TARGET_FILE:listen_host>")
  endif()
endforeach()
