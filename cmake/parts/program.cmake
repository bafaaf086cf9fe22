# The program as it runs: the executable and every module and helper it loads or starts from its own
# folder. `make run` builds this set alone (not the tests, benchmarks and fuzzers), and an install holds
# all of it in bin/.
set(QUILLBAY_PROGRAM_SET quillbay quillbay-swap quillbay-logkeeper quillbay-fetch quillbay_camera quillbay_webpage quillbay_ocr
  quillbay_sound quillbay_secrets)

# Targets of parts read after this one are looked for at the end.
function(quillbay_program_set)
  foreach(t IN LISTS QUILLBAY_PROGRAM_SET)
    if(NOT TARGET ${t})
      message(FATAL_ERROR "The program needs ${t}, which no part defines")
    endif()
  endforeach()
  add_custom_target(quillbay_program)
  add_dependencies(quillbay_program ${QUILLBAY_PROGRAM_SET})
  # Links only system libraries: no run path to rewrite on install.
  set_target_properties(quillbay_camera PROPERTIES INSTALL_RPATH "")
  install(TARGETS quillbay_camera LIBRARY DESTINATION bin)
  # The installed-copy test installs this build into a temporary folder and runs what it installed.
  if(TARGET tst_InstalledCopy)
    add_dependencies(tst_InstalledCopy quillbay_program)
    target_link_libraries(tst_InstalledCopy PRIVATE quillbay_release)
    target_compile_definitions(tst_InstalledCopy PRIVATE QUILLBAY_CMAKE="${CMAKE_COMMAND}")
  endif()
endfunction()
cmake_language(DEFER CALL quillbay_program_set)
