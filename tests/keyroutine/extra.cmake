# The key routine tests run machine code built here: a corpus of C transforms
# generated from a seed and compiled for i686 at five optimisation levels,
# and hand-written assembly. Both are embedded as bytes; the corpus C is also
# compiled into the test itself to give the expected blocks.
find_program(QX_HOST_CXX NAMES c++ g++ REQUIRED)
find_program(QX_I686_CC i686-w64-mingw32-gcc REQUIRED)
find_program(QX_I686_AS i686-w64-mingw32-as REQUIRED)
find_program(QX_I686_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
find_program(QX_I686_OBJCOPY i686-w64-mingw32-objcopy REQUIRED)

set(kr_out ${CMAKE_BINARY_DIR}/keyroutine)
set(kr_corpus ${kr_out}/corpus)
set(kr_asm ${kr_out}/asm)
set(kr_seed 20240611)
set(kr_count 64)
set(kr_levels O0,O1,O2,O3,Os)
set(kr_tools -DOBJDUMP=${QX_I686_OBJDUMP} -DOBJCOPY=${QX_I686_OBJCOPY})
file(MAKE_DIRECTORY ${kr_corpus} ${kr_asm})

# The generator runs on the build machine, so it is built with the host
# compiler also when the target is Windows.
set(kr_gen ${kr_out}/corpusgen)
add_custom_command(OUTPUT ${kr_gen}
  COMMAND ${QX_HOST_CXX} -std=c++17 -O1 -Wall -Wextra -Werror -o ${kr_gen} ${dir}/gen/corpusgen.cpp
  DEPENDS ${dir}/gen/corpusgen.cpp
  COMMENT "Building the key routine corpus generator" VERBATIM)

math(EXPR kr_last "${kr_count} - 1")
set(kr_sources)
foreach(i RANGE ${kr_last})
  list(APPEND kr_sources ${kr_corpus}/kr_${i}.c)
endforeach()
add_custom_command(OUTPUT ${kr_sources} ${kr_corpus}/kr_corpus.h ${kr_corpus}/kr_native.c
  COMMAND ${kr_gen} ${kr_seed} ${kr_count} ${kr_corpus}
  DEPENDS ${kr_gen}
  COMMENT "Generating the key routine corpus" VERBATIM)

set(kr_bins)
foreach(i RANGE ${kr_last})
  set(outs)
  foreach(level O0 O1 O2 O3 Os)
    list(APPEND outs ${kr_corpus}/kr_${i}_${level}.bin)
  endforeach()
  add_custom_command(OUTPUT ${outs}
    COMMAND ${CMAKE_COMMAND} -DCC=${QX_I686_CC} ${kr_tools} -DSRC=${kr_corpus}/kr_${i}.c
      -DOUT=${kr_corpus}/kr_${i} -DINCLUDE=${kr_corpus} -DLEVELS=${kr_levels}
      -P ${dir}/cmake/cross_object.cmake
    DEPENDS ${kr_corpus}/kr_${i}.c ${kr_corpus}/kr_corpus.h ${dir}/cmake/cross_object.cmake
    VERBATIM)
  list(APPEND kr_bins ${outs})
endforeach()
add_custom_command(OUTPUT ${kr_out}/corpus_code.inc
  COMMAND ${CMAKE_COMMAND} -DKIND=corpus -DDIR=${kr_corpus} -DOUT=${kr_out}/corpus_code.inc
    -DCOUNT=${kr_count} -DLEVELS=${kr_levels} -P ${dir}/cmake/embed_blobs.cmake
  DEPENDS ${kr_bins} ${dir}/cmake/embed_blobs.cmake VERBATIM)

file(GLOB kr_asm_sources CONFIGURE_DEPENDS ${dir}/asm/*.s)
file(GLOB kr_asm_includes CONFIGURE_DEPENDS ${dir}/asm/*.inc)
set(kr_asm_bins)
set(kr_asm_names)
foreach(src ${kr_asm_sources})
  get_filename_component(name ${src} NAME_WE)
  add_custom_command(OUTPUT ${kr_asm}/${name}.bin
    COMMAND ${CMAKE_COMMAND} -DAS=${QX_I686_AS} ${kr_tools} -DSRC=${src} -DOUT=${kr_asm}/${name}
      -DINCLUDE=${dir}/asm -P ${dir}/cmake/cross_object.cmake
    DEPENDS ${src} ${kr_asm_includes} ${dir}/cmake/cross_object.cmake VERBATIM)
  list(APPEND kr_asm_bins ${kr_asm}/${name}.bin)
  list(APPEND kr_asm_names ${name})
endforeach()
string(REPLACE ";" "," kr_asm_names "${kr_asm_names}")
add_custom_command(OUTPUT ${kr_out}/asm_code.inc
  COMMAND ${CMAKE_COMMAND} -DKIND=asm -DDIR=${kr_asm} -DOUT=${kr_out}/asm_code.inc
    -DNAMES=${kr_asm_names} -P ${dir}/cmake/embed_blobs.cmake
  DEPENDS ${kr_asm_bins} ${dir}/cmake/embed_blobs.cmake VERBATIM)

target_sources(${target} PRIVATE ${kr_sources} ${kr_corpus}/kr_native.c
  ${kr_out}/corpus_code.inc ${kr_out}/asm_code.inc)
target_include_directories(${target} PRIVATE ${kr_out} ${kr_corpus})
