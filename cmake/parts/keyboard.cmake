# The island's keyboard drives the built program; under three window managers in turn it takes longer
# than one test usually may on a loaded machine.
foreach(t tst_IslandKeyboard tst_IslandKeyboardWindowManagers)
  if(TARGET ${t})
    add_dependencies(${t} quillbay)
  endif()
endforeach()
if(TARGET tst_IslandKeyboardWindowManagers)
  set_tests_properties(tst_IslandKeyboardWindowManagers PROPERTIES TIMEOUT 600)
endif()
