# libFuzzer targets for the parsers of outside input. libFuzzer is clang's, so each is compiled with clang
# straight from the sources it tests, under AddressSanitizer and UBSan, built with everything else and run
# by CTest for a bounded time (label "fuzz"). Left out in the sanitizer build, which would only build and
# run them a second time. clang comes with the project's packages (scripts/deps.d/i32a.txt).
find_program(QUILLBAY_CLANGXX NAMES clang++ clang++-14)
if(NOT QUILLBAY_CLANGXX AND NOT QUILLBAY_SANITIZE)
  message(WARNING "clang++ not found: the fuzzers are not built (scripts/install-deps installs it)")
endif()

# quillbay_add_fuzzer(NAME SOURCES files... [QT Core Gui ...] [LIBS libs...] [INCLUDES folders...]
#                     [CORPUS folder] [MAX_LEN n])
function(quillbay_add_fuzzer name)
  if(NOT QUILLBAY_CLANGXX OR QUILLBAY_SANITIZE)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS;MAX_LEN" "SOURCES;QT;LIBS;INCLUDES" ${ARGN})
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 4096)
  endif()
  set(sources "")
  set(depends "")
  foreach(s IN LISTS F_SOURCES)
    list(APPEND sources ${CMAKE_SOURCE_DIR}/${s})
    list(APPEND depends ${CMAKE_SOURCE_DIR}/${s})
    string(REGEX REPLACE "\\.cpp$" ".h" header ${CMAKE_SOURCE_DIR}/${s})
    if(EXISTS ${header})
      list(APPEND depends ${header})
    endif()
  endforeach()
  set(includes "")
  foreach(folder IN LISTS F_INCLUDES)
    list(APPEND includes -I${CMAKE_SOURCE_DIR}/${folder})
  endforeach()
  set(libs "")
  foreach(qt IN LISTS F_QT)
    list(APPEND includes "-I$<JOIN:$<TARGET_PROPERTY:Qt6::${qt},INTERFACE_INCLUDE_DIRECTORIES>,$<SEMICOLON>-I>")
    list(APPEND libs "$<TARGET_LINKER_FILE:Qt6::${qt}>")
  endforeach()
  set(out ${CMAKE_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${out}
    COMMAND ${QUILLBAY_CLANGXX} -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=undefined -DQT_NO_DEBUG_OUTPUT ${includes} -I${CMAKE_SOURCE_DIR}/src
            ${sources} -o ${out} ${libs} ${F_LIBS}
    DEPENDS ${depends}
    COMMAND_EXPAND_LISTS VERBATIM
    COMMENT "Building the fuzzer ${name} with clang")
  add_custom_target(${name}_build ALL DEPENDS ${out})
  # A copy of the seed inputs, so that what the fuzzer adds to its corpus stays in the build folder.
  set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  set(seed "")
  if(F_CORPUS)
    set(seed ${CMAKE_SOURCE_DIR}/${F_CORPUS})
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run-fuzzer ${out} ${corpus} ${F_MAX_LEN} ${seed})
  # One fuzzer at a time: each keeps a core busy for its whole run, and seven at once starve the X11
  # tests that run beside them.
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 180 RESOURCE_LOCK fuzzer)
endfunction()

quillbay_add_fuzzer(fuzz_AntigravityDecoder
  SOURCES tests/fuzz/fuzz_AntigravityDecoder.cpp src/services/AntigravityDecoder.cpp src/services/AIUsageText.cpp
  QT Core LIBS ${AI_ICU_LINK_LIBRARIES})
quillbay_add_fuzzer(fuzz_FeedParser
  SOURCES tests/fuzz/fuzz_FeedParser.cpp src/services/FeedParser.cpp src/services/FeedEncoding.cpp
          src/services/FeedDates.cpp src/services/FeedMapping.cpp src/services/HtmlText.cpp
  QT Core LIBS ${EXPAT_LINK_LIBRARIES} CORPUS tests/fixtures/feeds MAX_LEN 65536)
quillbay_add_fuzzer(fuzz_KitTools
  SOURCES tests/fuzz/fuzz_KitTools.cpp src/services/KitTools.cpp src/services/JsonPrettyPrinter.cpp src/services/QRCode.cpp
  QT Core Gui LIBS ${QRENCODE_LINK_LIBRARIES} MAX_LEN 65536)
quillbay_add_fuzzer(fuzz_Stores
  SOURCES tests/fuzz/fuzz_Stores.cpp src/model/ClipItem.cpp src/model/CustomTab.cpp src/model/Feed.cpp
          src/model/KanbanCard.cpp src/model/NewsItem.cpp src/model/ShelfItem.cpp
  QT Core CORPUS tests/fuzz/seeds/stores MAX_LEN 16384)
quillbay_add_fuzzer(fuzz_Minisign
  SOURCES tests/fuzz/fuzz_Minisign.cpp src/services/Minisign.cpp src/services/Libcrypto.cpp
    src/services/OnDemandLibrary.cpp
  QT Core LIBS -lcrypto CORPUS tests/fuzz/seeds/minisign MAX_LEN 2048)
quillbay_add_fuzzer(fuzz_UpdateManifest
  SOURCES tests/fuzz/fuzz_UpdateManifest.cpp src/services/UpdateManifest.cpp
  QT Core CORPUS tests/fuzz/seeds/manifest MAX_LEN 8192)
quillbay_add_fuzzer(fuzz_RequestReader
  SOURCES tests/fuzz/fuzz_RequestReader.cpp server/RequestReader.cpp INCLUDES server)
