# The share-mode grid in the documents against the library's own answers.
#   -DGRID=<qorvel-share-grid> -DEMULATOR=<runner, '|'-separated, or empty>
#   -DDOCS=<docs directory> -DMODE=check|update [-DGNUPLOT=<gnuplot>]
# check: fails when the table in share-modes.md or the matrix in
#        share-modes.dat differs from what the library answers now.
# update: writes both, and renders share-modes.svg from the matrix.
string(REPLACE "|" ";" runner "${EMULATOR}")
set(begin "<!-- share-mode grid: written by qorvel-share-grid -->\n")
set(end "<!-- end of the share-mode grid -->")

function(measure option output)
  execute_process(COMMAND ${runner} ${GRID} ${option}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "qorvel-share-grid ${option} failed (exit status ${result})")
  endif()
  # Windows programs end their lines with CR LF.
  string(REPLACE "\r\n" "\n" text "${text}")
  set(${output} "${text}" PARENT_SCOPE)
endfunction()

measure(--markdown table)
measure(--data matrix)
file(READ ${DOCS}/share-modes.md document)
string(FIND "${document}" "${begin}" from)
string(FIND "${document}" "${end}" to)
if(from EQUAL -1 OR to EQUAL -1)
  message(FATAL_ERROR "${DOCS}/share-modes.md lacks the grid's markers")
endif()
string(LENGTH "${begin}" length)
math(EXPR from "${from} + ${length}")
math(EXPR count "${to} - ${from}")
string(SUBSTRING "${document}" ${from} ${count} committed)

if(MODE STREQUAL "update")
  string(SUBSTRING "${document}" 0 ${from} head)
  string(SUBSTRING "${document}" ${to} -1 tail)
  file(WRITE ${DOCS}/share-modes.md "${head}${table}${tail}")
  file(WRITE ${DOCS}/share-modes.dat "${matrix}")
  if(NOT GNUPLOT)
    message(FATAL_ERROR "rendering share-modes.svg needs gnuplot (Debian: apt-get install gnuplot-nox)")
  endif()
  execute_process(COMMAND ${GNUPLOT} share-modes.gp WORKING_DIRECTORY ${DOCS} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gnuplot share-modes.gp failed")
  endif()
  message(STATUS "wrote the share-mode grid into ${DOCS}: share-modes.md, .dat, .svg")
  return()
endif()

file(READ ${DOCS}/share-modes.dat committed_matrix)
if(NOT committed STREQUAL table OR NOT committed_matrix STREQUAL matrix)
  message(FATAL_ERROR "The share-mode grid in ${DOCS} differs from the library's answers:\n"
    "${table}\n${matrix}\n"
    "If the library is right, `cmake --build <build dir> --target share-grid` updates the documents.")
endif()
message(STATUS "the share-mode grid in share-modes.md and share-modes.dat is the library's")
