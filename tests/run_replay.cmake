# Runs ovtdump on CASE (.in), with arguments from CASE's .args (one per
# line, optional), and compares standard output with .out and the exit code
# with .rc (0 when absent).
string(REGEX REPLACE "\\.in$" "" base "${CASE}")
set(args)
if(EXISTS ${base}.args)
  file(STRINGS ${base}.args args)
endif()
set(expected_rc 0)
if(EXISTS ${base}.rc)
  file(STRINGS ${base}.rc expected_rc LIMIT_COUNT 1)
endif()
execute_process(COMMAND ${OVTDUMP} ${args} ${CASE}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(READ ${base}.out expected)
if(NOT rc STREQUAL expected_rc)
  message(FATAL_ERROR "exit code ${rc}, expected ${expected_rc}\nstderr: ${err}")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "output differs\n--- got ---\n${out}--- expected ---\n${expected}")
endif()
