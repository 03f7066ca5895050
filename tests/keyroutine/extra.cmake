# The key routine tests run machine code built here: a corpus of C transforms
# generated from a seed and compiled for i686 by GCC and Clang in several
# variants (plain i686 at five optimisation levels, SSE2 and later processors
# with vectorisation), and hand-written assembly. Both are embedded as bytes;
# the corpus C is also compiled into the test itself to give the expected
# blocks.
find_program(QX_HOST_CXX NAMES c++ g++ REQUIRED)
find_program(QX_I686_CC i686-w64-mingw32-gcc REQUIRED)
find_program(QX_CLANG clang REQUIRED)
find_program(QX_I686_AS i686-w64-mingw32-as REQUIRED)
find_program(QX_I686_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
find_program(QX_I686_OBJCOPY i686-w64-mingw32-objcopy REQUIRED)

set(kr_out ${CMAKE_BINARY_DIR}/keyroutine)
set(kr_corpus ${kr_out}/corpus)
set(kr_asm ${kr_out}/asm)
set(kr_seed 20240611)
set(kr_count 64)
# <level> is GCC for plain i686; sse2, pentium4, core2 and nehalem add SIMD;
# clang- variants are Clang for i686-w64-windows-gnu (no SSE by default).
set(kr_variants O0 O1 O2 O3 Os sse2-O1 sse2-O2 sse2-O3 sse2-Os pentium4-O2 pentium4-O3
  core2-O2 core2-O3 nehalem-O2 nehalem-O3 clang-O0 clang-O1 clang-O2 clang-O3 clang-Os
  clang-sse2-O2 clang-sse2-O3 clang-core2-O3 clang-nehalem-O3)
string(REPLACE ";" "," kr_variant_arg "${kr_variants}")
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
  foreach(variant ${kr_variants})
    list(APPEND outs ${kr_corpus}/kr_${i}_${variant}.bin)
  endforeach()
  add_custom_command(OUTPUT ${outs}
    COMMAND ${CMAKE_COMMAND} -DCC=${QX_I686_CC} -DCLANG=${QX_CLANG} ${kr_tools}
      -DSRC=${kr_corpus}/kr_${i}.c -DOUT=${kr_corpus}/kr_${i} -DINCLUDE=${kr_corpus}
      -DVARIANTS=${kr_variant_arg} -P ${dir}/cmake/cross_object.cmake
    DEPENDS ${kr_corpus}/kr_${i}.c ${kr_corpus}/kr_corpus.h ${dir}/cmake/cross_object.cmake
    VERBATIM)
  list(APPEND kr_bins ${outs})
endforeach()
add_custom_command(OUTPUT ${kr_out}/corpus_code.inc
  COMMAND ${CMAKE_COMMAND} -DKIND=corpus -DDIR=${kr_corpus} -DOUT=${kr_out}/corpus_code.inc
    -DCOUNT=${kr_count} -DVARIANTS=${kr_variant_arg} -P ${dir}/cmake/embed_blobs.cmake
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

# The SIMD instructions are checked against this processor's own, through
# the compiler's intrinsics.
set_source_files_properties(${dir}/keyroutine_simd_test.cpp PROPERTIES COMPILE_OPTIONS -msse4.1)
