# Checks the export table of the Windows DLL and its import library.
#
# The DLL must export exactly the expected names, numbered 1..N in sorted
# name order (byte order, so the decorated C++ names come first), with no
# ordinal left unnamed. The import library must offer exactly the same names.
#
# Inputs: OBJDUMP, NM, LIBRARY (the DLL), IMPORT_LIBRARY, EXPECTED (a file
# with one name per line), SYMBOL_PREFIX ("_" where C names carry a leading
# underscore, as on 32-bit x86).
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
list(LENGTH expected count)

function(fail what)
  message(FATAL_ERROR "${what}")
endfunction()

# ---- The DLL's export table -------------------------------------------------
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
                OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  fail("objdump -p failed on ${LIBRARY}")
endif()
if(NOT dump MATCHES "Ordinal Base[ \t]+([0-9]+)")
  fail("${LIBRARY} has no export table")
endif()
set(base ${CMAKE_MATCH_1})
if(NOT dump MATCHES "Export Address Table[ \t]+([0-9a-fA-F]+)")
  fail("no export address table size in the objdump output")
endif()
math(EXPR addresses "0x${CMAKE_MATCH_1}")
if(NOT addresses EQUAL count)
  fail("the export address table has ${addresses} entries, expected ${count}")
endif()

# The name table lists "[index] name", the ordinal being index + base.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(\t[^\n]*\n)*" names "${dump}")
string(REPLACE "\n" ";" lines "${names}")
set(actual "")
foreach(line ${lines})
  if(line MATCHES "^\t\\[ *([0-9]+)\\] (\\+base\\[ *[0-9]+\\] [0-9a-fA-F]+ )?([^ ]+)$")
    math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
    list(APPEND actual "${ordinal}:${CMAKE_MATCH_3}")
  endif()
endforeach()

set(wanted "")
set(ordinal 1)
foreach(name ${expected})
  list(APPEND wanted "${ordinal}:${name}")
  math(EXPR ordinal "${ordinal} + 1")
endforeach()
if(NOT actual STREQUAL wanted)
  string(REPLACE ";" "\n  " wanted_text "${wanted}")
  string(REPLACE ";" "\n  " actual_text "${actual}")
  fail("export table differs (ordinal:name)\n expected:\n  ${wanted_text}\n actual:\n  ${actual_text}")
endif()
message(STATUS "DLL exports: ${count} names with ordinals 1-${count}, as expected")

# ---- The import library -----------------------------------------------------
execute_process(COMMAND ${NM} ${IMPORT_LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  fail("nm failed on ${IMPORT_LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(imported "")
foreach(line ${lines})
  if(line MATCHES " I __imp_${SYMBOL_PREFIX}([^ ]+)$")
    list(APPEND imported ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT imported)
if(NOT imported STREQUAL expected)
  fail("import library differs\n expected: ${expected}\n actual:   ${imported}")
endif()
message(STATUS "import library: the same ${count} names")
