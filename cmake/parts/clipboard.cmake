# Other X clients for the clipboard and quick-paste tests (and the clipboard benchmark): a selection owner of several manners and a
# window to paste into.
add_executable(quillbay-clip-owner tests/x11/helpers/ClipOwner.cpp)
target_link_libraries(quillbay-clip-owner PRIVATE PkgConfig::XCB)
add_executable(quillbay-paste-target tests/x11/helpers/PasteTarget.cpp)
target_link_libraries(quillbay-paste-target PRIVATE Qt6::Widgets)
foreach(t tst_X11Pasteboard tst_QuickPaste bench_Clipboard)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-clip-owner quillbay-paste-target)
    target_compile_definitions(${t} PRIVATE
      QUILLBAY_CLIP_OWNER="$<TARGET_FILE:quillbay-clip-owner>"
      QUILLBAY_PASTE_TARGET="$<TARGET_FILE:quillbay-paste-target>")
  endif()
endforeach()
if(TARGET tst_QuickPaste)
  add_dependencies(tst_QuickPaste quillbay)
endif()
