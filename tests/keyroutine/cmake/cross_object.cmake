# Builds one routine for i686 and keeps the bytes of its .text section:
# C source for each variant in VARIANTS (OUT_<variant>.bin), or an assembly
# source when VARIANTS is empty (OUT.bin).
#
# A routine is copied into a message, so its code can need no relocation.
# For assembly that fails the build. A compiler may put constants in a data
# section (vector constants, also GCC's vectors in general registers); such
# a compilation is dropped, with the reason in OUT_<variant>.drop and in the
# build's output, and an empty OUT_<variant>.bin.
#
# -D: CC (GCC), CLANG (may be empty), AS, OBJDUMP, OBJCOPY, SRC, OUT, INCLUDE,
#     VARIANTS (comma-separated)

set(common -ffreestanding -fno-asynchronous-unwind-tables -Wall -Wextra -Werror)
set(gcc_common ${common} -fno-tree-loop-distribute-patterns -fno-stack-protector -mtune=generic)
set(clang_common --target=i686-w64-windows-gnu ${common})
set(no_simd -march=i686 -mno-mmx -mno-sse)

function(run_tool what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed for ${SRC}:\n${out}${err}")
  endif()
  set(tool_output "${out}" PARENT_SCOPE)
endfunction()

# Sets drop_reason when the object's .text needs relocations.
function(extract_text obj bin strict)
  set(drop_reason "" PARENT_SCOPE)
  run_tool("objdump" ${OBJDUMP} -r -j .text ${obj})
  if(tool_output MATCHES "RELOCATION RECORDS")
    if(strict)
      message(FATAL_ERROR "${obj}: .text needs relocations; change the source:\n${tool_output}")
    endif()
    # The symbols the code refers to, e.g. .rdata for a constant pool.
    string(REGEX MATCHALL "\n[0-9a-f]+ +[^ ]+ +[^\n]+" records "${tool_output}")
    set(targets)
    foreach(record ${records})
      string(REGEX REPLACE "^\n[0-9a-f]+ +[^ ]+ +" "" target "${record}")
      list(APPEND targets ${target})
    endforeach()
    list(REMOVE_DUPLICATES targets)
    string(REPLACE ";" ", " targets "${targets}")
    set(drop_reason "code refers to ${targets} (needs relocation)" PARENT_SCOPE)
    file(WRITE ${bin} "")
    return()
  endif()
  run_tool("objcopy" ${OBJCOPY} -O binary -j .text ${obj} ${bin})
  file(SIZE ${bin} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${obj}: empty .text")
  endif()
endfunction()

if(NOT VARIANTS)
  run_tool("assemble" ${AS} --32 -I${INCLUDE} ${SRC} -o ${OUT}.o)
  extract_text(${OUT}.o ${OUT}.bin TRUE)
  return()
endif()

get_filename_component(name ${SRC} NAME_WE)
string(REPLACE "," ";" variants "${VARIANTS}")
foreach(variant ${variants})
  # <level> | <arch>-<level> | clang-<level> | clang-<arch>-<level>
  string(REGEX MATCH "O[0-3s]$" level "${variant}")
  string(REGEX REPLACE "-?O[0-3s]$" "" rest "${variant}")
  set(compiler ${CC})
  set(flags ${gcc_common})
  set(is_clang FALSE)
  if(rest MATCHES "^clang")
    set(is_clang TRUE)
    if(NOT CLANG)
      message(FATAL_ERROR "variant ${variant} needs clang")
    endif()
    set(compiler ${CLANG})
    set(flags ${clang_common})
    string(REGEX REPLACE "^clang-?" "" rest "${rest}")
  endif()
  if(rest STREQUAL "")
    if(NOT is_clang)
      list(APPEND flags ${no_simd})
    endif()
  elseif(rest STREQUAL "sse2")
    list(APPEND flags -msse2)
  else()
    list(APPEND flags -march=${rest})
  endif()
  set(base ${OUT}_${variant})
  file(REMOVE ${base}.drop)
  run_tool("compile ${variant}" ${compiler} -c -${level} ${flags} -I${INCLUDE} ${SRC} -o ${base}.o)
  extract_text(${base}.o ${base}.bin FALSE)
  if(drop_reason)
    file(WRITE ${base}.drop "${drop_reason}")
    message(STATUS "key routine corpus: ${name} ${variant} dropped: ${drop_reason}")
  endif()
endforeach()
