# Runs kestrel-cli on the demo scenario and checks the JSON it prints.
execute_process(COMMAND ${CLI} --sim ${SCENARIO} --json
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "kestrel-cli exited with ${rc}\n${err}")
endif()
string(JSON count LENGTH "${out}" drives)
if(count LESS 4)
  message(FATAL_ERROR "expected at least four drives, got ${count}\n${out}")
endif()
# The shipped definitions, found beside the program, name and render them.
string(JSON first GET "${out}" drives 0 attributes 0 name)
if(NOT first STREQUAL "リードエラーレート")
  message(FATAL_ERROR "the first attribute is not named from smart.dat: ${first}\n${out}")
endif()
string(JSON hours GET "${out}" drives 0 attributes 5 rawText)
if(NOT hours STREQUAL "10872時間")
  message(FATAL_ERROR "power-on hours not rendered by its format: ${hours}\n${out}")
endif()
# The packet device's message reaches standard error as a message line.
if(NOT err MATCHES "64\tKestrel[^\t]*\t[^\n]*CD/DVD")
  message(FATAL_ERROR "no packet-device message line on standard error\n${err}")
endif()
execute_process(COMMAND ${CLI} --sim ${SCENARIO}
  OUTPUT_VARIABLE text RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT text MATCHES "SATA#0")
  message(FATAL_ERROR "the text table lacks its first drive line\n${text}")
endif()
