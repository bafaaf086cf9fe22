# Helper executable for the settings durability test: a process that assigns settings and is killed or
# asked to quit while it does.
add_executable(defaults_host tests/helpers/defaults_host.cpp)
target_link_libraries(defaults_host PRIVATE quillbay_app)

if(TARGET tst_DefaultsDurability)
  add_dependencies(tst_DefaultsDurability defaults_host)
  target_compile_definitions(tst_DefaultsDurability PRIVATE DEFAULTS_HOST="$<TARGET_FILE:defaults_host>")
endif()
