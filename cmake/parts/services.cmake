# Helper executables for the service tests: a program that hosts a CommandsService and exits while its
# service runs, a small server that listens on two ports, and a program that detaches as a daemon does.
add_executable(service_host tests/helpers/service_host.cpp)
target_link_libraries(service_host PRIVATE quillbay_fakes)
add_executable(listen_host tests/helpers/listen_host.cpp)
add_executable(daemon_host tests/helpers/daemon_host.cpp)

foreach(t tst_ServiceProcesses tst_ServiceAdoption tst_ProcessTable tst_ServiceQR tst_CommandsStore tst_ServiceLogs)
  if(TARGET ${t})
    add_dependencies(${t} service_host listen_host daemon_host)
    target_compile_definitions(${t} PRIVATE
      SERVICE_HOST="$<TARGET_FILE:service_host>" LISTEN_HOST="$<TARGET_FILE:listen_host>"
      DAEMON_HOST="$<TARGET_FILE:daemon_host>")
  endif()
endforeach()
