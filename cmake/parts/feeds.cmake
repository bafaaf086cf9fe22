# The feed reader's XML parser (libexpat, scripts/deps.d/feeds.txt).
pkg_check_modules(EXPAT REQUIRED IMPORTED_TARGET expat)
target_link_libraries(quillbay_core PUBLIC PkgConfig::EXPAT)
