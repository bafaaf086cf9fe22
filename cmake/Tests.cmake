# Every tests/<layer>/tst_*.cpp (layers: unit, process = real child processes and /proc, widgets, x11) becomes one QtTest executable, registered with CTest under its layer's label.
file(GLOB QUILLBAY_FAKE_SOURCES CONFIGURE_DEPENDS tests/fakes/*.cpp tests/fakes/*.h)
add_library(quillbay_fakes STATIC ${QUILLBAY_FAKE_SOURCES} )
target_include_directories(quillbay_fakes PUBLIC tests)
target_link_libraries(quillbay_fakes PUBLIC quillbay_app Qt6::Test)
target_compile_definitions(quillbay_fakes PUBLIC
  QUILLBAY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  QUILLBAY_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
  QUILLBAY_BINARY_DIR="${CMAKE_BINARY_DIR}")

# Preloaded into every test and what it starts (tests/loopback-only): a lookup or connection beyond
# loopback fails the test. Never sanitized itself: it is loaded before the sanitizer's runtime.
add_library(quillbay_loopback_guard SHARED tests/fakes/preload/LoopbackGuard.cpp)
set_target_properties(quillbay_loopback_guard PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
target_compile_options(quillbay_loopback_guard PRIVATE -fno-sanitize=all)
target_link_options(quillbay_loopback_guard PRIVATE -fno-sanitize=all)
target_link_libraries(quillbay_loopback_guard PRIVATE ${CMAKE_DL_LIBS})
set(QUILLBAY_LOOPBACK_ONLY ${CMAKE_SOURCE_DIR}/tests/loopback-only $<TARGET_FILE:quillbay_loopback_guard>)

function(quillbay_add_test layer file)
  get_filename_component(name ${file} NAME_WE)
  add_executable(${name} ${file})
  target_link_libraries(${name} PRIVATE quillbay_fakes)
  add_dependencies(${name} quillbay_loopback_guard)
  if(layer STREQUAL "x11")
    add_test(NAME ${name} COMMAND ${QUILLBAY_LOOPBACK_ONLY} ${CMAKE_SOURCE_DIR}/tests/x11/with-xvfb $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 300)
  else()
    add_test(NAME ${name} COMMAND ${QUILLBAY_LOOPBACK_ONLY} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${layer})
  set_property(GLOBAL APPEND PROPERTY QUILLBAY_TEST_TARGETS ${name})
endfunction()

foreach(layer IN LISTS QUILLBAY_TEST_LAYERS)
  file(GLOB tests CONFIGURE_DEPENDS tests/${layer}/tst_*.cpp)
  foreach(t IN LISTS tests)
    quillbay_add_test(${layer} ${t})
  endforeach()
endforeach()

# Every test program of the registered layers (with the helpers each depends on), and nothing else: the
# sanitizer lane of `make test` builds this alone.
get_property(_test_targets GLOBAL PROPERTY QUILLBAY_TEST_TARGETS)
add_custom_target(quillbay_tests)
if(_test_targets)
  add_dependencies(quillbay_tests ${_test_targets})
endif()

if(QUILLBAY_LINT)
  add_test(NAME check_format COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format)
  set_tests_properties(check_format PROPERTIES LABELS lint)
endif()
