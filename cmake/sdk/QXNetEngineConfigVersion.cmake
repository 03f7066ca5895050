# The version of the architecture the game's build targets.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  include(${CMAKE_CURRENT_LIST_DIR}/x64/lib/cmake/QXNetEngine/QXNetEngineConfigVersion.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/x86/lib/cmake/QXNetEngine/QXNetEngineConfigVersion.cmake)
endif()
