# The SDK holds a 32-bit (x86/) and a 64-bit (x64/) engine: use the one the
# game's build targets. Gives the imported target QXNetEngine::QXNetEngine.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_qx_arch x64)
else()
  set(_qx_arch x86)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/${_qx_arch}/lib/cmake/QXNetEngine/QXNetEngineConfig.cmake)
unset(_qx_arch)
