# The export is also called through the built library, as a game would.
add_dependencies(${target} QXNetEngine)
if(NOT WIN32)
  target_compile_definitions(${target} PRIVATE QX_ENGINE_LIBRARY="$<TARGET_FILE:QXNetEngine>")
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  # OpenSSL serves as an independent oracle in the native build only.
  find_package(OpenSSL REQUIRED)
  target_link_libraries(${target} PRIVATE OpenSSL::Crypto)
  target_compile_definitions(${target} PRIVATE QX_HAVE_OPENSSL)
endif()
