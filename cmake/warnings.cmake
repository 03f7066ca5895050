# Our own code builds warning-free; third-party code keeps its own flags.
function(qx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

set(QX_SANITIZE_FLAGS "")
if(QX_SANITIZE)
  set(QX_SANITIZE_FLAGS -fsanitize=address,undefined)
  add_compile_options(${QX_SANITIZE_FLAGS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(${QX_SANITIZE_FLAGS})
endif()
if(QX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(QX_FUZZ)
  # Everything, third-party code included, is instrumented for coverage; only
  # the harnesses link libFuzzer's main. Assertions stay on.
  set(QX_FUZZ_FLAGS -fsanitize=address,undefined)
  add_compile_options(-fsanitize=fuzzer-no-link ${QX_FUZZ_FLAGS} -fno-sanitize-recover=all
    -fno-omit-frame-pointer -O1 -g)
  # The AES tables are computed at compile time, past clang's default limit.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fconstexpr-steps=50000000>)
  add_link_options(${QX_FUZZ_FLAGS})
endif()

if(WIN32)
  # No MinGW runtime DLL has to ship beside ours or beside the tests.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
