# Every tests/<layer>/tst_*.cpp (layers: unit, process = real child processes and /proc, widgets, x11) becomes one QtTest executable, registered with CTest under its layer's label.
file(GLOB QUILLBAY_FAKE_SOURCES CONFIGURE_DEPENDS tests/fakes/*.cpp tests/fakes/*.h)
add_library(quillbay_fakes STATIC ${QUILLBAY_FAKE_SOURCES} )
target_include_directories(quillbay_fakes PUBLIC tests)
target_link_libraries(quillbay_fakes PUBLIC quillbay_app Qt6::Test)
target_compile_definitions(quillbay_fakes PUBLIC
  QUILLBAY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  QUILLBAY_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
  QUILLBAY_BINARY_DIR="${CMAKE_BINARY_DIR}")

function(quillbay_add_test layer file)
  get_filename_component(name ${file} NAME_WE)
  add_executable(${name} ${file})
  target_link_libraries(${name} PRIVATE quillbay_fakes)
  if(layer STREQUAL "x11")
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/x11/with-xvfb $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 300)
  else()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${layer})
endfunction()

foreach(layer IN LISTS QUILLBAY_TEST_LAYERS)
  file(GLOB tests CONFIGURE_DEPENDS tests/${layer}/tst_*.cpp)
  foreach(t IN LISTS tests)
    quillbay_add_test(${layer} ${t})
  endforeach()
endforeach()

if(QUILLBAY_LINT)
  add_test(NAME check_format COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format)
  set_tests_properties(check_format PROPERTIES LABELS lint)
endif()
