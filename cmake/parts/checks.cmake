# The source checks that run with the unit tests. Includes point down the layers only (platform < model <
# services < views < app < main.cpp), and a self-test proves the check still catches an upward include.
find_program(QUILLBAY_BASH bash REQUIRED)
add_test(NAME check_layers COMMAND ${QUILLBAY_BASH} ${CMAKE_SOURCE_DIR}/scripts/check-layers ${CMAKE_SOURCE_DIR}/src)
add_test(NAME check_layers_selftest COMMAND ${QUILLBAY_BASH} ${CMAKE_SOURCE_DIR}/scripts/check-layers-selftest)
set_tests_properties(check_layers check_layers_selftest PROPERTIES LABELS unit TIMEOUT 60)
# `make bench` runs every benchmark program of the build folder and nothing else beside them.
add_test(NAME run_benches_selftest COMMAND ${QUILLBAY_BASH} ${CMAKE_SOURCE_DIR}/scripts/run-benches-selftest)
set_tests_properties(run_benches_selftest PROPERTIES LABELS unit TIMEOUT 60)
# A test helper that asserts is called so that its caller stops at its failure; the self-test proves the
# check still finds a bare call.
find_program(QUILLBAY_PYTHON python3 REQUIRED)
add_test(NAME check_test_helpers COMMAND ${QUILLBAY_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/check-test-helpers
                                         ${CMAKE_SOURCE_DIR}/tests)
add_test(NAME check_test_helpers_selftest COMMAND ${QUILLBAY_BASH}
                                                  ${CMAKE_SOURCE_DIR}/scripts/check-test-helpers-selftest)
# Ten starts of python3: on a loaded machine each can take seconds.
set_tests_properties(check_test_helpers check_test_helpers_selftest PROPERTIES LABELS unit TIMEOUT 300)
