# quillbay-fetch: makes the update check's and the usage report's requests in a process of its own, so
# that the TLS libraries they load never stay in the program. Installed beside the program. Qt Core and
# Network only.
add_executable(quillbay-fetch tools/fetch/main.cpp src/services/HttpFetch.cpp src/services/HttpFetch.h)
target_include_directories(quillbay-fetch PRIVATE src)
target_link_libraries(quillbay-fetch PRIVATE Qt6::Core Qt6::Network)
install(TARGETS quillbay-fetch RUNTIME DESTINATION bin)

foreach(t tst_FetchHelper tst_UpdateCheck tst_TelemetryService tst_UpdateEndToEnd bench_Idle)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-fetch)
    target_compile_definitions(${t} PRIVATE QUILLBAY_FETCH="$<TARGET_FILE:quillbay-fetch>")
  endif()
endforeach()

# The helper's own test serves HTTPS with cpp-httplib.
if(TARGET tst_FetchHelper)
  target_link_libraries(tst_FetchHelper PRIVATE quillbay_web)
endif()

# The update's and the usage report's tests once more, through the helper.
foreach(t tst_UpdateCheck tst_TelemetryService tst_UpdateEndToEnd)
  if(TARGET ${t})
    get_test_property(${t} LABELS layer)
    add_test(NAME ${t}_throughHelper COMMAND ${QUILLBAY_LOOPBACK_ONLY} $<TARGET_FILE:${t}>)
    set_tests_properties(${t}_throughHelper PROPERTIES LABELS ${layer} TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLBAY_TEST_FETCH_HELPER=$<TARGET_FILE:quillbay-fetch>")
  endif()
endforeach()
