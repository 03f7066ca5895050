# The fixtures write archives with zlib and list them with minizip.
target_link_libraries(${target} PRIVATE qxzip)
# Python's zipfile serves as an independent reader and writer in the native
# build only.
if(NOT WIN32)
  find_program(QX_PYTHON3 python3)
  if(QX_PYTHON3)
    target_compile_definitions(${target} PRIVATE QX_PYTHON3="${QX_PYTHON3}")
  endif()
endif()
