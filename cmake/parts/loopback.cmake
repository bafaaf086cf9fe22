# The self-test of the wrapper that keeps every test on loopback (tests/loopback-only).
if(TARGET tst_LoopbackOnly)
  target_compile_definitions(tst_LoopbackOnly PRIVATE
    QUILLBAY_LOOPBACK_GUARD="$<TARGET_FILE:quillbay_loopback_guard>")
endif()
