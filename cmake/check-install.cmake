# Installs the build into a fresh prefix, checks that only the library, its
# header, the CMake package and the .pc file (and on Windows the import
# library and the .def) are there, then builds a small consumer against the
# tree with find_package and with pkg-config. Natively both consumers run;
# for Windows they only link, and must import the undecorated name.
# Usage: cmake -DBUILD=dir -DSOURCE=dir -DWORK=dir -DTARGET_WIN32=0|1 -DLIBDIR=lib
#   -DGENERATOR=g -DMAKE_PROGRAM=p -DCXX=compiler [-DTOOLCHAIN=file]
#   [-DOBJDUMP=tool] [-DCXXFLAGS=flags] -P check-install.cmake
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
run("install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

set(cmake_dir ${LIBDIR}/cmake/QXNetEngine)
set(want include/QXNetEngine.h ${LIBDIR}/pkgconfig/qxnetengine.pc
  ${cmake_dir}/QXNetEngineConfig.cmake ${cmake_dir}/QXNetEngineConfigVersion.cmake
  ${cmake_dir}/QXNetEngineTargets.cmake ${cmake_dir}/QXNetEngineTargets-release.cmake)
if(TARGET_WIN32)
  list(APPEND want bin/QXNetEngine.dll ${LIBDIR}/libQXNetEngine.dll.a ${LIBDIR}/QXNetEngine.def
    ${LIBDIR}/QXNetEngine.lib)
  set(exe .exe)
else()
  list(APPEND want ${LIBDIR}/libqxnetengine.so)
  set(exe "")
endif()
file(GLOB_RECURSE have RELATIVE ${prefix} ${prefix}/*)
# The targets file per configuration follows the build type.
list(FILTER have EXCLUDE REGEX "/QXNetEngineTargets-[a-z]+\\.cmake$")
list(FILTER want EXCLUDE REGEX "/QXNetEngineTargets-[a-z]+\\.cmake$")
file(GLOB per_config ${prefix}/${cmake_dir}/QXNetEngineTargets-*.cmake)
if(NOT per_config)
  message(FATAL_ERROR "no QXNetEngineTargets-<config>.cmake installed")
endif()
list(SORT have)
list(SORT want)
if(NOT have STREQUAL want)
  message(FATAL_ERROR "installed:\n  ${have}\nexpected:\n  ${want}")
endif()

# With find_package, as a CMake game would.
set(cross "")
if(TOOLCHAIN)
  set(cross -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run("configuring the find_package consumer" ${CMAKE_COMMAND} -S ${SOURCE}/tests/install/consumer
  -B ${WORK}/cmake-consumer -G ${GENERATOR} -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} ${cross}
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${CXXFLAGS}")
run("building the find_package consumer" ${CMAKE_COMMAND} --build ${WORK}/cmake-consumer)
set(consumers ${WORK}/cmake-consumer/consumer${exe})

# With pkg-config, as a Makefile would: flags from the .pc, nothing else.
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/${LIBDIR}/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
run("pkg-config" pkg-config --cflags --libs qxnetengine)
string(STRIP "${out}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(extra UNIX_COMMAND "${CXXFLAGS}")
set(pc_consumer ${WORK}/pc-consumer${exe})
run("building the pkg-config consumer" ${CXX} ${extra} ${SOURCE}/tests/install/consumer/consumer.cpp
  -o ${pc_consumer} ${pc_flags})
list(APPEND consumers ${pc_consumer})

foreach(consumer ${consumers})
  if(TARGET_WIN32)
    run("objdump" ${OBJDUMP} -p ${consumer})
    if(NOT out MATCHES "DLL Name: QXNetEngine\\.dll\n[^\n]*\n[^\n]*[ \t]QXNetEngine_GetHashCode\n")
      message(FATAL_ERROR "${consumer} does not import QXNetEngine_GetHashCode from QXNetEngine.dll:\n${out}")
    endif()
    set(out "linked; imports QXNetEngine_GetHashCode from QXNetEngine.dll")
  elseif(consumer STREQUAL pc_consumer)
    run("${consumer}" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${consumer})
  else()
    # CMake gave it an RPATH to the installed library.
    run("${consumer}" ${consumer})
  endif()
  message(STATUS "${consumer}: ${out}")
endforeach()
