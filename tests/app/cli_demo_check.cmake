# Runs kestrel-cli on the demo scenario and checks the JSON it prints.
execute_process(COMMAND ${CLI} --sim ${SCENARIO} --json
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "kestrel-cli exited with ${rc}\n${err}")
endif()
# The monitor's lines come first; the drive table is the last line.
string(REGEX MATCH "[^\n]*\n$" json "${out}")
if(NOT out MATCHES "^STATUS 1 ")
  message(FATAL_ERROR "the first tick did not report its acquisition time\n${out}")
endif()
set(out "${json}")
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

# Four minutes of watching: the degrading drive is logged and the overall
# health ends at error.
set(log ${CMAKE_CURRENT_BINARY_DIR}/cli_demo.log)
file(REMOVE ${log})
execute_process(COMMAND ${CLI} --sim ${SCENARIO} --ticks 250 /l ${log}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\nTRAY 1\n.*\nTRAY 2\n" OR
   NOT out MATCHES "\nNOTICE 3 [^\n]*ATA#3" OR NOT out MATCHES "\nSTATUS 1 ")
  message(FATAL_ERROR "watching the demo did not go to warning, then error\n${out}")
endif()
file(READ ${log} content HEX)
# "\r\n2026/12/07 09:04\tATA#3\t05\t" in hexadecimal: a line of drive 3's
# reallocated sectors at 09:04.
if(NOT content MATCHES "0d0a323032362f31322f30372030393a30340941544123330930350" OR
   NOT content MATCHES "^323032362f31322f30372030393a3031")
  message(FATAL_ERROR "the demo log lacks the changes of drive 3\n${content}")
endif()

# A one-shot diagnosis five seconds after boot reads the drive at once.
set(boot ${CMAKE_CURRENT_BINARY_DIR}/cli_boot.scenario)
file(WRITE ${boot} "[Platform]\nUptime = 5\n[Drive0]\nModel = A\nAttribute.09 = 0x0032 097 097 1234 0\n")
execute_process(COMMAND ${CLI} --sim ${boot} --json OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(REGEX MATCH "[^\n]*\n$" json "${out}")
string(JSON current GET "${json}" drives 0 attributes 0 current)
if(NOT rc EQUAL 0 OR NOT current EQUAL 97)
  message(FATAL_ERROR "a one-shot right after boot did not read the drive\n${out}")
endif()
# A copy of the program with no definition file beside it says so once in
# --verbose.
set(alone ${CMAKE_CURRENT_BINARY_DIR}/cli_alone)
file(REMOVE_RECURSE ${alone})
file(COPY ${CLI} DESTINATION ${alone})
get_filename_component(name ${CLI} NAME)
execute_process(COMMAND ${alone}/${name} --sim ${boot} --verbose WORKING_DIRECTORY ${alone}
  OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
string(REGEX MATCHALL "no definition file" said "${err}")
list(LENGTH said times)
if(NOT rc EQUAL 0 OR NOT times EQUAL 1)
  message(FATAL_ERROR "no single word of the missing definition file\n${err}")
endif()
# Eleven disks are one too many, and say so.
execute_process(COMMAND ${CLI} sda sdb sdc sdd sde sdf sdg sdh sdi sdj nvme0n1
  OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "at most ten devices")
  message(FATAL_ERROR "eleven devices were not refused\n${err}")
endif()
