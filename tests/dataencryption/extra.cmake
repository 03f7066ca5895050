# OpenSSL serves as an independent oracle in the native build only.
if(NOT WIN32)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(${target} PRIVATE OpenSSL::Crypto)
  target_compile_definitions(${target} PRIVATE QX_HAVE_OPENSSL)
endif()
