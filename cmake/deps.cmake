# Third-party libraries as one interface target, qxdeps: zlib, minizip,
# TinyXML (with STL) and the Boost headers.
add_library(qxdeps INTERFACE)
target_compile_definitions(qxdeps INTERFACE TIXML_USE_STL)

if(WIN32)
  # Built by scripts/build-deps-win32.sh from Debian's source packages;
  # zlib comes from libz-mingw-w64-dev.
  set(QX_DEPS_WIN32 ${CMAKE_SOURCE_DIR}/build/deps-win32 CACHE PATH "MinGW-built third-party libraries")
  target_include_directories(qxdeps SYSTEM INTERFACE ${QX_DEPS_WIN32}/include)
  target_link_libraries(qxdeps INTERFACE ${QX_DEPS_WIN32}/lib/libminizip.a
    ${QX_DEPS_WIN32}/lib/libtinyxml.a z ws2_32 user32 gdi32 kernel32)
else()
  find_package(ZLIB REQUIRED)
  find_package(Boost REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  find_library(TINYXML_LIB tinyxml REQUIRED)
  find_package(Threads REQUIRED)
  target_link_libraries(qxdeps INTERFACE PkgConfig::MINIZIP ${TINYXML_LIB} ZLIB::ZLIB
    Boost::headers Threads::Threads)
endif()
