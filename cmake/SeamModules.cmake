# Seams whose libraries only one tool needs, each in a module beside the program that is loaded when the
# seam is first used (src/platform/modules/), so an idle program never maps Tesseract, libcanberra or
# libsecret and what they bring. The implementation is a static library of its own: the module wraps it,
# and the tests that exercise the implementation itself link it directly.
#
# quillbay_seam_module(<target> <file name without .so> <folder under src/platform> LIBS <libraries>
#                      TESTS <targets>)
function(quillbay_seam_module target output folder)
  cmake_parse_arguments(M "" "" "LIBS;TESTS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/${folder}/*.cpp)
  add_library(${target}_impl STATIC ${sources})
  set_target_properties(${target}_impl PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${target}_impl PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${target}_impl PUBLIC Qt6::Core Qt6::Gui ${M_LIBS})
  file(GLOB module_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/${folder}/module/*.cpp)
  add_library(${target} MODULE ${module_sources})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} INSTALL_RPATH "")
  target_link_libraries(${target} PRIVATE ${target}_impl)
  # The program exports nothing to its modules: a module that needs a symbol of ours fails to link here,
  # not to load on a user's first use.
  if(NOT QUILLBAY_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  add_dependencies(quillbay ${target})
  install(TARGETS ${target} LIBRARY DESTINATION bin)
  # The loader's own test loads each real module.
  if(TARGET tst_LoadedSeam)
    add_dependencies(tst_LoadedSeam ${target})
    string(TOUPPER ${target} define)
    target_compile_definitions(tst_LoadedSeam PRIVATE ${define}_MODULE="$<TARGET_FILE:${target}>")
  endif()
  foreach(t IN LISTS M_TESTS)
    if(TARGET ${t})
      target_link_libraries(${t} PRIVATE ${target}_impl)
    endif()
  endforeach()
endfunction()
