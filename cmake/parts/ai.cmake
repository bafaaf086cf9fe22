# The AI usage readers: SQLite for the Antigravity state database, ICU for the relative reset texts.
pkg_check_modules(AI_SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(AI_ICU REQUIRED IMPORTED_TARGET icu-i18n icu-uc)
target_link_libraries(quillbay_core PUBLIC PkgConfig::AI_SQLITE PkgConfig::AI_ICU)
# Its decoder's fuzzer is one of those in cmake/parts/fuzz.cmake.
