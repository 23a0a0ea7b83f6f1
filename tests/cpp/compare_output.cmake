# Runs PROGRAM and passes only when it exits with 0, writes nothing to stderr
# and writes exactly the bytes of EXPECTED to stdout.
#   cmake -DPROGRAM=... -DEXPECTED=... -P compare_output.cmake
execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
file(READ ${EXPECTED} expected)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "${PROGRAM} ended with ${status}; stderr:\n${err}")
endif()
if(NOT err STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} wrote to stderr:\n${err}")
endif()
if(NOT out STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cpp_host.actual "${out}")
  message(FATAL_ERROR "output differs from ${EXPECTED}; got (also in cpp_host.actual):\n${out}")
endif()
