# Compiles the gate server's key routines for 32-bit x86 and writes their
# machine code into a header as byte arrays. Each routine must be code that
# runs wherever it lies: no relocation may remain in the object. With SIMD
# set the routines are compiled with SSE2 and vectorisation and must come
# out using XMM registers.
# Arguments: CC OBJCOPY OBJDUMP SRC OUT NAMES (list) WORK [SIMD]
string(REPLACE "," ";" NAMES "${NAMES}")
get_filename_component(src_name ${SRC} NAME_WE)
set(obj ${WORK}/${src_name}-x86.o)
if(SIMD)
  set(isa -msse2 -ftree-vectorize)
else()
  set(isa -fno-tree-vectorize -mno-sse -mno-mmx)
endif()
execute_process(COMMAND ${CC} -O2 -ffreestanding -fno-pic -fno-asynchronous-unwind-tables
  -fno-jump-tables -fno-tree-loop-distribute-patterns ${isa}
  -ffunction-sections -c ${SRC} -o ${obj} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "cannot compile ${SRC} for 32-bit x86")
endif()
execute_process(COMMAND ${OBJDUMP} -r ${obj} OUTPUT_VARIABLE relocs)
if(relocs MATCHES "RELOCATION RECORDS")
  message(FATAL_ERROR "key routines must not need relocation:\n${relocs}")
endif()
if(SIMD)
  execute_process(COMMAND ${OBJDUMP} -d ${obj} OUTPUT_VARIABLE code)
  if(NOT code MATCHES "xmm")
    message(FATAL_ERROR "${SRC}: the compiler vectorised nothing; the routine would not test SSE2")
  endif()
endif()
set(text "// Generated from ${src_name}.c for 32-bit x86; do not edit.\n#pragma once\n\n")
foreach(name ${NAMES})
  set(bin ${WORK}/${name}.bin)
  execute_process(COMMAND ${OBJCOPY} -O binary --only-section=.text$${name} ${obj} ${bin}
    RESULT_VARIABLE rc)
  file(SIZE ${bin} size)
  # The reply has room for about 500 bytes of code after the key block.
  if(rc OR size EQUAL 0 OR size GREATER 400)
    message(FATAL_ERROR "key routine ${name}: no code or too long (${size} bytes)")
  endif()
  file(READ ${bin} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "static const unsigned char k${name}X86[] = {${bytes}};\n")
endforeach()
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
