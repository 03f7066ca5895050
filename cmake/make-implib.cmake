# Writes a MinGW import library for the i686 DLL from its .def, whose entries
# read `Name = Name@n`: callers link `_Name@n`, the DLL is asked for `Name`.
# Given LLVM_DLLTOOL and MSVC_OUT, also the MSVC import library, whose
# entries have the import name type "undecorate" as Microsoft's tools make.
# Usage: cmake -DDEF=in.def -DDLLTOOL=tool -DDLL=name.dll -DOUT=lib.dll.a -DWORK=dir
#   [-DLLVM_DLLTOOL=tool -DMSVC_OUT=name.lib] -P make-implib.cmake
file(STRINGS ${DEF} lines)
set(decorated "LIBRARY ${DLL}\nEXPORTS\n")
set(in_exports OFF)
foreach(line ${lines})
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^;")
    continue()
  elseif(line MATCHES "^(LIBRARY|NAME)( |$)")
    continue()
  elseif(line STREQUAL "EXPORTS")
    set(in_exports ON)
  elseif(NOT in_exports)
    message(FATAL_ERROR "${DEF}: unexpected line '${line}'")
  else()
    # Any other form would need its own import name; refuse rather than guess.
    string(REGEX MATCH "^([A-Za-z_][A-Za-z_0-9]*) *= *([A-Za-z_][A-Za-z_0-9]*)(@[0-9]+)$" m "${line}")
    if(NOT m OR NOT CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
      message(FATAL_ERROR "${DEF}: export '${line}' is not of the form Name = Name@n")
    endif()
    string(APPEND decorated "    ${CMAKE_MATCH_2}${CMAKE_MATCH_3}\n")
  endif()
endforeach()
set(def ${WORK}/${DLL}.implib.def)
file(WRITE ${def} "${decorated}")
file(REMOVE ${OUT})
execute_process(COMMAND ${DLLTOOL} --kill-at -d ${def} -D ${DLL} -l ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed (${rc})")
endif()
if(LLVM_DLLTOOL AND MSVC_OUT)
  file(REMOVE ${MSVC_OUT})
  execute_process(COMMAND ${LLVM_DLLTOOL} -m i386 -k -d ${def} -D ${DLL} -l ${MSVC_OUT}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${LLVM_DLLTOOL} failed (${rc})")
  endif()
endif()
