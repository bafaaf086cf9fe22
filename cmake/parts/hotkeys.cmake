# A second X client that holds a key combination, for the key-grab tests.
add_executable(quillbay-grab-holder tests/x11/helpers/GrabHolder.cpp)
target_link_libraries(quillbay-grab-holder PRIVATE PkgConfig::XCB)
if(TARGET tst_X11KeyGrabBackend)
  add_dependencies(tst_X11KeyGrabBackend quillbay-grab-holder)
  target_compile_definitions(tst_X11KeyGrabBackend PRIVATE
    QUILLBAY_GRAB_HOLDER="$<TARGET_FILE:quillbay-grab-holder>")
endif()
