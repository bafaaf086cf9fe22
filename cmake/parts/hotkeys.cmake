# A second X client that holds a key combination, for the key-grab tests.
add_executable(quillbay-grab-holder tests/x11/helpers/GrabHolder.cpp)
target_link_libraries(quillbay-grab-holder PRIVATE PkgConfig::XCB)
foreach(t tst_X11KeyGrabBackend tst_Island)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-grab-holder)
    target_compile_definitions(${t} PRIVATE QUILLBAY_GRAB_HOLDER="$<TARGET_FILE:quillbay-grab-holder>")
  endif()
endforeach()
