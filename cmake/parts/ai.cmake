# The AI usage readers: SQLite for the Antigravity state database, ICU for the relative reset texts.
pkg_check_modules(AI_SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(AI_ICU REQUIRED IMPORTED_TARGET icu-i18n icu-uc)
target_link_libraries(quillbay_core PUBLIC PkgConfig::AI_SQLITE PkgConfig::AI_ICU)

# A libFuzzer target for the credits decoder, built with clang (libFuzzer is clang's) under AddressSanitizer
# and UBSan, and run by CTest for a bounded time. Left out where clang is not installed, and in the sanitizer
# build, which would only build and run it a second time.
find_program(QUILLBAY_CLANGXX NAMES clang++ clang++-14)
if(QUILLBAY_CLANGXX AND NOT QUILLBAY_SANITIZE)
  set(fuzz_sources
    ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_AntigravityDecoder.cpp
    ${CMAKE_SOURCE_DIR}/src/services/AntigravityDecoder.cpp
    ${CMAKE_SOURCE_DIR}/src/services/AIUsageText.cpp)
  set(fuzz_out ${CMAKE_BINARY_DIR}/fuzz_AntigravityDecoder)
  add_custom_command(OUTPUT ${fuzz_out}
    COMMAND ${QUILLBAY_CLANGXX} -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=undefined
            "-I$<JOIN:$<TARGET_PROPERTY:Qt6::Core,INTERFACE_INCLUDE_DIRECTORIES>,;-I>"
            -I${CMAKE_SOURCE_DIR}/src ${fuzz_sources} -o ${fuzz_out}
            $<TARGET_LINKER_FILE:Qt6::Core> ${AI_ICU_LINK_LIBRARIES}
    DEPENDS ${fuzz_sources} ${CMAKE_SOURCE_DIR}/src/services/AntigravityDecoder.h
            ${CMAKE_SOURCE_DIR}/src/services/AIUsageText.h
    COMMAND_EXPAND_LISTS VERBATIM
    COMMENT "Building the credits decoder fuzzer with clang")
  add_custom_target(fuzz_AntigravityDecoder_build ALL DEPENDS ${fuzz_out})
  add_test(NAME fuzz_AntigravityDecoder
    COMMAND ${fuzz_out} -max_total_time=20 -timeout=5 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1)
  set_tests_properties(fuzz_AntigravityDecoder PROPERTIES LABELS fuzz TIMEOUT 120)
endif()
