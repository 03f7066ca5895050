# Runs the Windows consumers that check-install.cmake built against the
# installed tree, with the installed DLL beside each, under the emulator.
# Usage: cmake -DWORK=dir "-DEMULATOR=wrapper;args" -P run-install-consumers.cmake
set(dll ${WORK}/prefix/bin/QXNetEngine.dll)
if(NOT EXISTS ${dll})
  message(FATAL_ERROR "no installed DLL at ${dll}: the install test did not run")
endif()
foreach(consumer ${WORK}/cmake-consumer/consumer.exe ${WORK}/pc-consumer.exe)
  get_filename_component(dir ${consumer} DIRECTORY)
  file(COPY ${dll} DESTINATION ${dir})
  execute_process(COMMAND ${EMULATOR} ${consumer} RESULT_VARIABLE rc OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "QXNetEngine_GetHashCode: 0, 20 bytes")
    message(FATAL_ERROR "${consumer} (${rc}):\n${out}")
  endif()
  message(STATUS "${consumer}: ${out}")
endforeach()
