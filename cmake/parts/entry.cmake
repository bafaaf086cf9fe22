# The process tests start the built program, so it must be linked before they run.
if(TARGET tst_SingleInstanceProcess)
  add_dependencies(tst_SingleInstanceProcess quillbay)
endif()
if(TARGET tst_LogRules)
  add_dependencies(tst_LogRules quillbay)
endif()
