# Our own code builds warning-free; third-party code keeps its own flags.
function(qx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(QX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # No MinGW runtime DLL has to ship beside ours or beside the tests.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
