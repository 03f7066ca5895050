# Builds one routine for i686 and keeps the bytes of its .text section:
# C source at each optimisation level in LEVELS (OUT_<level>.bin), or an
# assembly source when LEVELS is empty (OUT.bin). Code that needs any
# relocation in .text cannot run from a bare copy and fails the build.
#
# -D: CC or AS, OBJDUMP, OBJCOPY, SRC, OUT, INCLUDE, LEVELS (comma-separated)

set(cflags -ffreestanding -fno-tree-loop-distribute-patterns -fno-asynchronous-unwind-tables
    -fno-stack-protector -march=i686 -mtune=generic -mno-mmx -mno-sse -Wall -Wextra -Werror)

function(run_tool what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed for ${SRC}:\n${out}${err}")
  endif()
  set(tool_output "${out}" PARENT_SCOPE)
endfunction()

function(extract_text obj bin)
  run_tool("objdump" ${OBJDUMP} -r -j .text ${obj})
  if(tool_output MATCHES "RELOCATION RECORDS")
    message(FATAL_ERROR "${obj}: .text needs relocations; change the source:\n${tool_output}")
  endif()
  run_tool("objcopy" ${OBJCOPY} -O binary -j .text ${obj} ${bin})
  file(SIZE ${bin} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${obj}: empty .text")
  endif()
endfunction()

if(LEVELS)
  string(REPLACE "," ";" levels "${LEVELS}")
  foreach(level ${levels})
    run_tool("compile -${level}" ${CC} -c -${level} ${cflags} -I${INCLUDE} ${SRC} -o ${OUT}_${level}.o)
    extract_text(${OUT}_${level}.o ${OUT}_${level}.bin)
  endforeach()
else()
  run_tool("assemble" ${AS} --32 -I${INCLUDE} ${SRC} -o ${OUT}.o)
  extract_text(${OUT}.o ${OUT}.bin)
endif()
