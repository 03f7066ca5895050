# One test program per folder under tests/ (tests/support holds shared helpers).
# A folder may add build steps of its own in an extra.cmake beside its sources.
if(WIN32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(QX_GTEST_MAIN gtest_main)
  set(QX_GMOCK gmock)
else()
  find_package(GTest REQUIRED)
  set(QX_GTEST_MAIN GTest::gtest_main)
  set(QX_GMOCK GTest::gmock)
endif()

# The test programs whose tests run threads of their own. Every build labels
# them "threads"; the ThreadSanitizer build (QX_TSAN) builds only these.
set(QX_THREADED_TESTS platform syncwnd log netengine msgdisp msgsocket gameclient posixloop)
# What only the POSIX loop has (its pollable descriptor).
set(QX_POSIX_ONLY_TESTS posixloop)

file(GLOB QX_SUPPORT_SOURCES CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(qxtestsupport STATIC ${QX_SUPPORT_SOURCES} tests/support/pump.h)
target_include_directories(qxtestsupport PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(qxtestsupport PUBLIC qxengine ${QX_GTEST_MAIN} ${QX_GMOCK})
qx_warnings(qxtestsupport)

file(GLOB QX_TEST_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir ${QX_TEST_DIRS})
  get_filename_component(name ${dir} NAME)
  if(NOT IS_DIRECTORY ${dir} OR name STREQUAL "support")
    continue()
  endif()
  if(QX_TSAN AND NOT name IN_LIST QX_THREADED_TESTS)
    continue()
  endif()
  if(WIN32 AND name IN_LIST QX_POSIX_ONLY_TESTS)
    continue()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    continue()
  endif()
  set(target test_${name})
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE qxtestsupport)
  qx_warnings(${target})
  add_test(NAME ${name} COMMAND ${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(EXISTS ${dir}/extra.cmake)
    include(${dir}/extra.cmake)
  endif()
  if(name IN_LIST QX_THREADED_TESTS)
    set_property(TEST ${name} APPEND PROPERTY LABELS threads)
  endif()
endforeach()
if(QX_TSAN)
  return()
endif()

# The structure reads downward only (a source check; once is enough).
if(NOT WIN32)
  add_test(NAME layering COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR}
    -P ${CMAKE_SOURCE_DIR}/cmake/check-layers.cmake)
endif()

# The installed tree, used by a small program as a game would link it. It
# needs no Wine: for Windows the program is only built.
add_test(NAME install COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR}
  -DSOURCE=${CMAKE_SOURCE_DIR} -DWORK=${CMAKE_BINARY_DIR}/install-test -DTARGET_WIN32=${WIN32}
  -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DGENERATOR=${CMAKE_GENERATOR}
  -DMAKE_PROGRAM=${CMAKE_MAKE_PROGRAM} -DCXX=${CMAKE_CXX_COMPILER}
  -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE} -DOBJDUMP=${CMAKE_OBJDUMP}
  "-DCXXFLAGS=${QX_SANITIZE_FLAGS}" -P ${CMAKE_SOURCE_DIR}/cmake/check-install.cmake)
set_tests_properties(install PROPERTIES TIMEOUT 120 LABELS no_wine)
set_tests_properties(install PROPERTIES FIXTURES_SETUP installed)
if(WIN32)
  # The same consumers run under Wine against the installed DLL.
  add_test(NAME install_runs COMMAND ${CMAKE_COMMAND} -DWORK=${CMAKE_BINARY_DIR}/install-test
    "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -P ${CMAKE_SOURCE_DIR}/cmake/run-install-consumers.cmake)
  set_tests_properties(install_runs PROPERTIES TIMEOUT 120 FIXTURES_REQUIRED installed)
endif()
