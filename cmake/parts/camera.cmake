# The camera mirror's capture, in a module of its own beside the program: it is loaded on the first
# start of the mirror, so an idle program never maps the multimedia libraries.
find_package(Qt6 6.4 REQUIRED COMPONENTS Multimedia)
add_library(quillbay_camera MODULE src/platform/qtmm/module/QtCameraModule.cpp)
set_target_properties(quillbay_camera PROPERTIES
  OUTPUT_NAME quillbay-camera PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(quillbay_camera PRIVATE src)
target_link_libraries(quillbay_camera PRIVATE Qt6::Core Qt6::Gui Qt6::Multimedia)
add_dependencies(quillbay quillbay_camera)
foreach(t tst_QtMultimediaCamera bench_CameraMirror)
  if(TARGET ${t})
    add_dependencies(${t} quillbay_camera)
    target_compile_definitions(${t} PRIVATE QUILLBAY_CAMERA_MODULE="$<TARGET_FILE:quillbay_camera>")
  endif()
endforeach()
if(TARGET bench_CameraCapture)
  target_link_libraries(bench_CameraCapture PRIVATE Qt6::Multimedia)
endif()
