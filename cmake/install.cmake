# What `cmake --install` puts under the prefix: the library, its public header,
# a CMake package (QXNetEngine::QXNetEngine) and a pkg-config file. Nothing of
# the internal layers, the tests or the third-party code is installed.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QXNetEngine)
set(QX_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

target_include_directories(QXNetEngine INTERFACE
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

if(WIN32)
  # The MSVC import library (QXNetEngine.lib) comes from LLVM's dlltool.
  find_program(QX_LLVM_DLLTOOL llvm-dlltool REQUIRED)
  set(QX_MSVC_IMPLIB ${CMAKE_BINARY_DIR}/QXNetEngine.lib)
  if(QX_WINDOWS_ARCH STREQUAL win32)
    # On i686 the linker's import library names the functions without their
    # stdcall suffix (_QXNetEngine_Init), but a caller compiled with the
    # header asks for _QXNetEngine_Init@8; rebuild it from the .def so both
    # match.
    add_custom_command(TARGET QXNetEngine POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DDEF=${CMAKE_SOURCE_DIR}/qxnetengine/exports/QXNetEngine.def
        -DDLLTOOL=${CMAKE_DLLTOOL} -DDLL=$<TARGET_FILE_NAME:QXNetEngine>
        -DOUT=$<TARGET_LINKER_FILE:QXNetEngine> -DWORK=${CMAKE_CURRENT_BINARY_DIR}
        -DLLVM_DLLTOOL=${QX_LLVM_DLLTOOL} -DMSVC_OUT=${QX_MSVC_IMPLIB}
        -P ${CMAKE_SOURCE_DIR}/cmake/make-implib.cmake
      VERBATIM)
  else()
    add_custom_command(TARGET QXNetEngine POST_BUILD
      COMMAND ${QX_LLVM_DLLTOOL} -m i386:x86-64 -d ${QX_DEF_FILE} -D $<TARGET_FILE_NAME:QXNetEngine>
        -l ${QX_MSVC_IMPLIB}
      VERBATIM)
  endif()
  set(QX_PC_LIBNAME QXNetEngine)
  install(FILES ${QX_DEF_FILE} ${QX_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
else()
  set(QX_PC_LIBNAME qxnetengine)
endif()

install(TARGETS QXNetEngine EXPORT QXNetEngineTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/QXNetEngine.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT QXNetEngineTargets NAMESPACE QXNetEngine:: DESTINATION ${QX_CMAKE_DIR})

configure_package_config_file(cmake/QXNetEngineConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QXNetEngineConfig.cmake INSTALL_DESTINATION ${QX_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QXNetEngineConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QXNetEngineConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QXNetEngineConfigVersion.cmake DESTINATION ${QX_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so the tree can move.
file(RELATIVE_PATH QX_PC_TO_PREFIX /prefix/${QX_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" QX_PC_TO_PREFIX "${QX_PC_TO_PREFIX}")
configure_file(cmake/qxnetengine.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qxnetengine.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qxnetengine.pc DESTINATION ${QX_PKGCONFIG_DIR})
