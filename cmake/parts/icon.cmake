# The program's icon, in the install folder's own hicolor theme; the desktop entry's script puts a copy
# where the desktop looks for named icons.
install(FILES ${CMAKE_SOURCE_DIR}/src/resources/app/quillbay.svg DESTINATION share/icons/hicolor/scalable/apps)
