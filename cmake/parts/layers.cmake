# Includes point down the layers only (platform < model < services < views < app < main.cpp); the
# check runs with the unit tests, and its own self-test proves it still catches an upward include.
find_program(QUILLBAY_BASH bash REQUIRED)
add_test(NAME check_layers COMMAND ${QUILLBAY_BASH} ${CMAKE_SOURCE_DIR}/scripts/check-layers ${CMAKE_SOURCE_DIR}/src)
add_test(NAME check_layers_selftest COMMAND ${QUILLBAY_BASH} ${CMAKE_SOURCE_DIR}/scripts/check-layers-selftest)
set_tests_properties(check_layers check_layers_selftest PROPERTIES LABELS unit TIMEOUT 60)
