# Runs the replay tool on a recording and compares its output and exit code.
execute_process(COMMAND ${REPLAY} ${RECORDING}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
file(READ ${EXPECTED} expected)
if(NOT code EQUAL 1)
  message(FATAL_ERROR "exit code ${code}, expected 1 for a recording with a bad line")
endif()
if(NOT err MATCHES "session.rec:19: error: not hex: '0x'")
  message(FATAL_ERROR "unexpected errors: ${err}")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "output differs from ${EXPECTED}:\n${out}")
endif()
