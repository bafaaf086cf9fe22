# The program's version, one source for all: settable when configuring (-DQUILLBAY_VERSION=X.Y.Z). Read
# twice: before project(), which takes its version from here, and with the other parts, once the targets
# exist, to give it to the code through a generated header and to write it into the program where
# quillbay-release reads it without running it.
if(NOT TARGET quillbay_core)
  set(QUILLBAY_VERSION "0.1.0" CACHE STRING "The version of this build of Quillbay (X.Y.Z)")
  if(NOT QUILLBAY_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "QUILLBAY_VERSION must be three numbers joined by dots, not \"${QUILLBAY_VERSION}\"")
  endif()
  return()
endif()

set(QUILLBAY_VERSION_DIR ${CMAKE_BINARY_DIR}/generated/version)
# Written only when the text changes, so that a new configure at the same version rebuilds nothing.
file(CONFIGURE OUTPUT ${QUILLBAY_VERSION_DIR}/QuillbayVersion.h CONTENT
"// Generated when configuring, from QUILLBAY_VERSION.
#pragma once
#define QUILLBAY_VERSION \"${QUILLBAY_VERSION}\"
")
file(CONFIGURE OUTPUT ${QUILLBAY_VERSION_DIR}/VersionTag.cpp CONTENT
"// Generated when configuring: the version as quillbay-release finds it in the program's bytes.
[[gnu::used]] extern const char quillbayVersionTag[] = \"quillbay-version=${QUILLBAY_VERSION}\";
")
target_include_directories(quillbay_core PUBLIC ${QUILLBAY_VERSION_DIR})
target_sources(quillbay PRIVATE ${QUILLBAY_VERSION_DIR}/VersionTag.cpp)

if(TARGET tst_Release)
  add_dependencies(tst_Release quillbay)
  target_compile_definitions(tst_Release PRIVATE QUILLBAY_PROGRAM_FILE="$<TARGET_FILE:quillbay>")
endif()
