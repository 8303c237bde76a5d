# The program's main job, run by `cmake --build <dir> --target demo` (the
# demo workflow runs it after everything else is built, so that its output
# ends the build): start a log of the user's own in the temporary directory
# (as the library reports it) afresh, append a status-line record and show
# the whole file.
#   -DQORVEL=<path of the program>  -DEMULATOR=<runner, '|'-separated, or empty>
string(REPLACE "|" ";" runner "${EMULATOR}")

function(run_qorvel output)
  execute_process(COMMAND ${runner} ${QORVEL} ${ARGN}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "qorvel ${ARGN} failed (exit status ${result})")
  endif()
  set(${output} "${text}" PARENT_SCOPE)
endfunction()

run_qorvel(directory tmpdir)
string(STRIP "${directory}" directory)
if(NOT directory MATCHES "[/\\\\]$")
  string(APPEND directory "/")
endif()
# The log is named after the user, so users sharing a temporary directory
# do not meet; where no user name can be found, after a random word.
set(user "")
foreach(variable USER USERNAME LOGNAME)
  if(user STREQUAL "" AND DEFINED ENV{${variable}})
    set(user "$ENV{${variable}}")
  endif()
endforeach()
if(user STREQUAL "")
  execute_process(COMMAND id -un OUTPUT_VARIABLE user OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
string(REGEX REPLACE "[^A-Za-z0-9._-]" "_" name "${user}")
if(name STREQUAL "")
  string(RANDOM LENGTH 8 name)
  set(user "someone")
endif()
set(log "${directory}qorvel-demo-${name}.log")
# A fresh log each run: what `cat` shows is what this run wrote. A missing
# file is no failure here.
execute_process(COMMAND ${runner} ${QORVEL} rm "${log}" OUTPUT_QUIET ERROR_QUIET)

message("\n== qorvel demo: appending one record to ${log}")
message("$ qorvel log ${log} --severity 2 --event demo --user ${user} --app qorvel-demo --function main --phase run --trace Y")
run_qorvel(line log "${log}" --severity 2 --event demo --user "${user}" --app qorvel-demo
           --function main --phase run --trace Y)
message("${line}")
message("$ qorvel cat ${log}")
run_qorvel(content cat "${log}")
message("${content}")
message("== qorvel demo: done; `qorvel cat ${log}` shows the log again")
