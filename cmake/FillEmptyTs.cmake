# Gives every zero-byte .ts file named on the command line a valid empty body, so lupdate can merge into it.
# Usage: cmake -P FillEmptyTs.cmake quillbay_en.ts quillbay_pt_BR.ts ...
math(EXPR _last "${CMAKE_ARGC} - 1")
foreach(_i RANGE 3 ${_last})
  set(_ts "${CMAKE_ARGV${_i}}")
  if(EXISTS "${_ts}")
    file(SIZE "${_ts}" _size)
    if(_size EQUAL 0)
      get_filename_component(_name "${_ts}" NAME)
      string(REGEX REPLACE "^quillbay_(.*)\\.ts$" "\\1" _lang "${_name}")
      file(WRITE "${_ts}"
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"${_lang}\">\n</TS>\n")
    endif()
  endif()
endforeach()
