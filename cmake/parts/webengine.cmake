# The browser engine for web tabs, in a module of its own beside the program: the program loads it when
# a web tab is first shown, so nothing else links the engine and an idle island never maps it.
find_package(Qt6 6.4 REQUIRED COMPONENTS WebEngineWidgets)
add_library(quillbay_webpage MODULE src/views/web/EngineWebPage.cpp)
set_target_properties(quillbay_webpage PROPERTIES
  OUTPUT_NAME quillbay-webpage PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(quillbay_webpage PRIVATE Qt6::WebEngineWidgets)
add_dependencies(quillbay quillbay_webpage)
foreach(t tst_WebTab bench_CustomTabs)
  if(TARGET ${t})
    add_dependencies(${t} quillbay_webpage quillbay)
    target_compile_definitions(${t} PRIVATE
      QUILLBAY_WEBPAGE_MODULE="$<TARGET_FILE:quillbay_webpage>" QUILLBAY_PROGRAM="$<TARGET_FILE:quillbay>")
  endif()
endforeach()
