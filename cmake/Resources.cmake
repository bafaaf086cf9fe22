# Compiled-in resources: the icon set (":/icons/<symbol-name>.svg") and the translation catalogues
# (":/i18n/quillbay_<lang>.qm"). Both are linked as object files into everything that uses the libraries,
# so a static link can never drop them.

# --- Icons -----------------------------------------------------------------------------------------------
# src/resources/icons/symbols.txt maps each symbol name to a Bootstrap Icons file. Editing the table
# re-runs this step; an unknown icon stops the build here rather than leaving a blank button at run time.
set(QUILLBAY_ICON_TABLE "${CMAKE_SOURCE_DIR}/src/resources/icons/symbols.txt")
set(QUILLBAY_ICON_DIR "/usr/share/bootstrap-icons/svg" CACHE PATH "Folder of the Bootstrap Icons SVG files")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${QUILLBAY_ICON_TABLE}")

file(STRINGS "${QUILLBAY_ICON_TABLE}" _icon_lines ENCODING UTF-8)
set(_icon_names "")
set(_icon_missing "")
set(_icon_qrc "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/icons\">\n")
set(_icon_line_no 0)
foreach(_line IN LISTS _icon_lines)
  math(EXPR _icon_line_no "${_icon_line_no} + 1")
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "" OR _line MATCHES "^#")
    continue()
  endif()
  if(NOT _line MATCHES "^([A-Za-z0-9.]+)[ \t]+([A-Za-z0-9-]+)$")
    message(FATAL_ERROR "${QUILLBAY_ICON_TABLE}:${_icon_line_no}: expected \"<symbol-name> <icon-stem>\", got \"${_line}\"")
  endif()
  set(_name "${CMAKE_MATCH_1}")
  set(_stem "${CMAKE_MATCH_2}")
  if(_name IN_LIST _icon_names)
    message(FATAL_ERROR "${QUILLBAY_ICON_TABLE}:${_icon_line_no}: symbol \"${_name}\" is listed twice")
  endif()
  list(APPEND _icon_names "${_name}")
  set(_file "${QUILLBAY_ICON_DIR}/${_stem}.svg")
  if(NOT EXISTS "${_file}")
    list(APPEND _icon_missing "  line ${_icon_line_no}: ${_name} -> ${_file}")
  endif()
  string(APPEND _icon_qrc "  <file alias=\"${_name}.svg\">${_file}</file>\n")
endforeach()
if(_icon_missing)
  list(JOIN _icon_missing "\n" _icon_missing)
  message(FATAL_ERROR "Icon files missing for ${QUILLBAY_ICON_TABLE} (is the bootstrap-icons package installed?):\n${_icon_missing}")
endif()
string(APPEND _icon_qrc "</qresource>\n</RCC>\n")

# Written through a copy so that an unchanged table does not rebuild the resource.
file(WRITE "${CMAKE_BINARY_DIR}/resources/quillbay_icons.qrc.new" "${_icon_qrc}")
configure_file("${CMAKE_BINARY_DIR}/resources/quillbay_icons.qrc.new"
  "${CMAKE_BINARY_DIR}/resources/quillbay_icons.qrc" COPYONLY)

add_library(quillbay_icons OBJECT "${CMAKE_BINARY_DIR}/resources/quillbay_icons.qrc")
set_target_properties(quillbay_icons PROPERTIES AUTORCC ON POSITION_INDEPENDENT_CODE ON)
target_link_libraries(quillbay_icons PRIVATE Qt6::Core)
# As sources of every non-static consumer (programs, tests): an archive member nobody references is dropped.
target_sources(quillbay_views INTERFACE
  "$<$<NOT:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,STATIC_LIBRARY>>:$<TARGET_OBJECTS:quillbay_icons>>")
add_dependencies(quillbay_views quillbay_icons)

# --- Translations ----------------------------------------------------------------------------------------
# Sources are the .ts files under src/resources/translations; `cmake --build build --target
# update_translations` refreshes them from every tr() under src/.
file(GLOB QUILLBAY_TS_FILES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/resources/translations/quillbay_*.ts")
file(GLOB_RECURSE QUILLBAY_TR_SOURCES CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/*.cpp" "${CMAKE_SOURCE_DIR}/src/*.h")

# A zero-byte .ts is not valid XML and would stop lrelease and lupdate. The build compiles an empty
# catalogue in its place, and update_translations first gives the file a valid empty body.
set(_ts_for_release "")
set(_ts_stub_dir "${CMAKE_BINARY_DIR}/resources/empty-ts")
foreach(_ts IN LISTS QUILLBAY_TS_FILES)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_ts}")
  file(SIZE "${_ts}" _ts_size)
  if(_ts_size EQUAL 0)
    get_filename_component(_ts_name "${_ts}" NAME)
    string(REGEX REPLACE "^quillbay_(.*)\\.ts$" "\\1" _ts_lang "${_ts_name}")
    file(WRITE "${_ts_stub_dir}/${_ts_name}"
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"${_ts_lang}\">\n</TS>\n")
    list(APPEND _ts_for_release "${_ts_stub_dir}/${_ts_name}")
  else()
    list(APPEND _ts_for_release "${_ts}")
  endif()
endforeach()

set(_qm_dir "${CMAKE_BINARY_DIR}/resources/i18n")
file(MAKE_DIRECTORY "${_qm_dir}")
set_source_files_properties(${_ts_for_release} PROPERTIES OUTPUT_LOCATION "${_qm_dir}")

qt6_add_lupdate(quillbay_core
  TS_FILES ${QUILLBAY_TS_FILES}
  SOURCES ${QUILLBAY_TR_SOURCES}
  INCLUDE_DIRECTORIES "${CMAKE_SOURCE_DIR}/src")
add_custom_target(quillbay_ts_bodies
  COMMAND "${CMAKE_COMMAND}" -P "${CMAKE_SOURCE_DIR}/cmake/FillEmptyTs.cmake" ${QUILLBAY_TS_FILES}
  VERBATIM)
add_dependencies(quillbay_core_lupdate quillbay_ts_bodies)

qt6_add_lrelease(quillbay_core
  TS_FILES ${_ts_for_release}
  QM_FILES_OUTPUT_VARIABLE _qm_files
  OPTIONS -silent)
qt6_add_resources(quillbay_core quillbay_translations
  PREFIX "/i18n"
  BASE "${_qm_dir}"
  FILES ${_qm_files})
