# Third-party and system libraries as interface targets, so each layer links
# only what it uses: qxsyslibs (the platform layer's system libraries),
# qxboost (headers only), qxzlib, qxzip (minizip on zlib), qxxml (TinyXML
# with STL).
add_library(qxsyslibs INTERFACE)
add_library(qxzlib INTERFACE)
add_library(qxboost INTERFACE)
add_library(qxzip INTERFACE)
add_library(qxxml INTERFACE)
target_compile_definitions(qxxml INTERFACE TIXML_USE_STL)

if(WIN32)
  # Built by scripts/build-deps-windows.sh from Debian's source packages;
  # zlib comes from libz-mingw-w64-dev.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QX_WINDOWS_ARCH win64)
  else()
    set(QX_WINDOWS_ARCH win32)
  endif()
  set(QX_DEPS_WINDOWS ${CMAKE_SOURCE_DIR}/build/deps-${QX_WINDOWS_ARCH} CACHE PATH "MinGW-built third-party libraries")
  target_include_directories(qxboost SYSTEM INTERFACE ${QX_DEPS_WINDOWS}/include)
  target_include_directories(qxzip SYSTEM INTERFACE ${QX_DEPS_WINDOWS}/include)
  target_include_directories(qxxml SYSTEM INTERFACE ${QX_DEPS_WINDOWS}/include)
  target_link_libraries(qxzlib INTERFACE z)
  target_link_libraries(qxzip INTERFACE ${QX_DEPS_WINDOWS}/lib/libminizip.a qxzlib)
  target_link_libraries(qxxml INTERFACE ${QX_DEPS_WINDOWS}/lib/libtinyxml.a)
  target_link_libraries(qxsyslibs INTERFACE ws2_32 user32 gdi32 kernel32 shell32)
else()
  find_package(ZLIB REQUIRED)
  find_package(Boost REQUIRED)
  find_package(PkgConfig REQUIRED)
  find_package(Threads REQUIRED)
  target_link_libraries(qxboost INTERFACE Boost::headers)
  target_link_libraries(qxzlib INTERFACE ZLIB::ZLIB)
  if(QX_FUZZ)
    # Compiled from Debian's sources with the fuzzing instrumentation
    # (fuzz/CMakeLists.txt), so the fuzzers see inside them too.
    target_link_libraries(qxzip INTERFACE qxfuzz_minizip qxzlib)
    target_link_libraries(qxxml INTERFACE qxfuzz_tinyxml)
  else()
    pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
    find_library(TINYXML_LIB tinyxml REQUIRED)
    target_link_libraries(qxzip INTERFACE PkgConfig::MINIZIP qxzlib)
    target_link_libraries(qxxml INTERFACE ${TINYXML_LIB})
  endif()
  target_link_libraries(qxsyslibs INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
endif()
