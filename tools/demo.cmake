# The program's main job, run by `cmake --build <dir> --target demo`:
# start qorvel-demo.log afresh in the temporary directory (as the library
# reports it), append a status-line record and show the whole file.
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
set(log "${directory}qorvel-demo.log")
# A fresh log each run: what `cat` shows is what this run wrote. A missing
# file is no failure here.
execute_process(COMMAND ${runner} ${QORVEL} rm "${log}" OUTPUT_QUIET ERROR_QUIET)

if(DEFINED ENV{USER})
  set(user "$ENV{USER}")
elseif(DEFINED ENV{USERNAME})
  set(user "$ENV{USERNAME}")
else()
  set(user "someone")
endif()

message("$ qorvel log ${log} --severity 2 --event demo --user ${user} --app qorvel-demo --function main --phase run --trace Y")
run_qorvel(line log "${log}" --severity 2 --event demo --user "${user}" --app qorvel-demo
           --function main --phase run --trace Y)
message("${line}")
message("$ qorvel cat ${log}")
run_qorvel(content cat "${log}")
message("${content}")
