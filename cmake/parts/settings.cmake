# Until the private-files routines are in the tree, tests link a minimal stand-in for them.
if(NOT EXISTS ${CMAKE_SOURCE_DIR}/src/services/AppPaths.cpp)
  target_sources(quillbay_core PRIVATE ${CMAKE_SOURCE_DIR}/tests/standin/AppPathsStandin.cpp)
endif()
