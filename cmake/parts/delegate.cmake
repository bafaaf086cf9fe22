# The end-to-end island test drives the built program.
if(TARGET tst_Island)
  add_dependencies(tst_Island quillbay)
endif()
