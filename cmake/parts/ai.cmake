# The AI usage readers: SQLite for the Antigravity state database, ICU for the relative reset texts.
pkg_check_modules(AI_SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(AI_ICU REQUIRED IMPORTED_TARGET icu-i18n icu-uc)
# libsqlite3 is opened when the first state database is read (src/services/Libsqlite.cpp): only its header
# is needed here.
target_include_directories(quillbay_core PUBLIC ${AI_SQLITE_INCLUDE_DIRS})
target_link_libraries(quillbay_core PUBLIC PkgConfig::AI_ICU)
# Its decoder's fuzzer is one of those in cmake/parts/fuzz.cmake.
# The reader's test writes state databases itself.
if(TARGET tst_AntigravityCredits)
  target_link_libraries(tst_AntigravityCredits PRIVATE PkgConfig::AI_SQLITE)
endif()
