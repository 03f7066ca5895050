# Fails when an include runs upwards through the layers, or when code above
# the platform layer names a system header of one platform or tests _WIN32
# (the exported entry points may choose DllMain and the POSIX pump).
# Usage: cmake -DROOT=source-dir -P check-layers.cmake
set(problems "")

function(check_dir dir forbidden_regex what)
  file(GLOB_RECURSE files "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.inc")
  foreach(f ${files})
    file(RELATIVE_PATH rel "${ROOT}" "${f}")
    if(NOT "${ARGN}" STREQUAL "" AND rel MATCHES "${ARGN}")
      continue()
    endif()
    file(STRINGS "${f}" lines REGEX "${forbidden_regex}")
    foreach(line ${lines})
      string(APPEND problems "${rel}: ${what}: ${line}\n")
    endforeach()
  endforeach()
  set(problems "${problems}" PARENT_SCOPE)
endfunction()

check_dir(platform "#include \"(common|qxnetengine)/" "platform includes a layer above it")
check_dir(common "#include \"qxnetengine/" "common includes the engine")
check_dir(qxnetengine/gameclient "#include \"qxnetengine/netengine/" "the connections include the engine")
set(system_headers "#include <(winsock2|windows|ws2tcpip|sys/socket|netinet/[a-z]+|arpa/inet|poll|unistd)\\.h>")
check_dir(common "${system_headers}|#if.*_WIN32|sockaddr_in" "platform-specific code above the platform layer")
check_dir(qxnetengine "${system_headers}|#if.*_WIN32|sockaddr_in" "platform-specific code above the platform layer"
  "^qxnetengine/exports/")

if(problems)
  message(FATAL_ERROR "layering:\n${problems}")
endif()
message(STATUS "layers read downward only")
