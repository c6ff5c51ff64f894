# kestrel-cli --notify-exec: the program gets each notice in its
# environment, and one that hangs neither delays nor outlives the watch.
set(dir ${CMAKE_CURRENT_BINARY_DIR}/notify_hook)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
file(WRITE ${dir}/record.sh "#!/bin/sh\nenv | grep '^KESTREL_' | sort > ${dir}/notice.$$\n")
file(WRITE ${dir}/hang.sh "#!/bin/sh\necho $$ >> ${dir}/hung\nexec sleep 300\n")
file(CHMOD ${dir}/record.sh ${dir}/hang.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

execute_process(COMMAND ${CLI} --sim ${SCENARIO} --ticks 250 --notify-exec ${dir}/record.sh
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
execute_process(COMMAND sleep 1)
file(GLOB notices ${dir}/notice.*)
list(LENGTH notices count)
if(NOT rc EQUAL 0 OR count EQUAL 0)
  message(FATAL_ERROR "the notice program did not run (exit ${rc})\n${out}")
endif()
# The demo's first notice: drive 3's reallocated sectors, in UTF-8.
set(found FALSE)
foreach(file ${notices})
  file(READ ${file} env)
  if(env MATCHES "KESTREL_ATTRIBUTE=05\nKESTREL_CHANGE=[a-z]+\nKESTREL_DRIVE=[0-9]\nKESTREL_LEVEL=(normal|warning|error)\nKESTREL_MODEL=[^\n]+\nKESTREL_NAME=代替処理済のセクタ数\nKESTREL_NOTICE=ドライブATA#[0-9]の属性05")
    set(found TRUE)
  endif()
endforeach()
if(NOT found)
  message(FATAL_ERROR "no notice of attribute 05 with its environment\n${env}")
endif()

# Programs that hang: the ticks run on, and the hung ones are killed at
# the end instead of being left behind.
string(TIMESTAMP start %s)
execute_process(COMMAND ${CLI} --sim ${SCENARIO} --ticks 250 --notify-exec ${dir}/hang.sh
  OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
string(TIMESTAMP end %s)
math(EXPR seconds "${end} - ${start}")
file(STRINGS ${dir}/hung pids)
list(LENGTH pids hung)
if(NOT rc EQUAL 0 OR seconds GREATER 20 OR hung EQUAL 0 OR NOT err MATCHES "still run")
  message(FATAL_ERROR "hanging programs delayed the watch (${seconds} s, exit ${rc}, ${hung})\n${err}")
endif()
foreach(pid ${pids})
  execute_process(COMMAND kill -0 ${pid} RESULT_VARIABLE alive ERROR_QUIET)
  if(alive EQUAL 0)
    message(FATAL_ERROR "notice program ${pid} outlived kestrel-cli")
  endif()
endforeach()
