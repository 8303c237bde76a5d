# Makes include/qorvel_status.h from the two lists it describes: the library
# codes (src/status/codes.h) and the Win32 errors (src/platform/win32_errors.h),
# through the template cmake/qorvel_status.h.in.
#   cmake -P cmake/status-header.cmake              writes include/qorvel_status.h
#   cmake -DCHECK=ON -P cmake/status-header.cmake   fails when the header differs
set(root ${CMAKE_CURRENT_LIST_DIR}/..)
set(header ${root}/include/qorvel_status.h)

# The lists are X-macro lines, X(...) with a quoted meaning last; every one
# must match `pattern`. Answers the lines.
function(read_rows file pattern out)
  file(READ ${file} text)
  # One row a line, up to its last parenthesis (the line's backslash stays out).
  string(REGEX MATCHALL "\n *X\\([^\n]*\\)" lines "${text}")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${pattern}")
      message(FATAL_ERROR "${file}: a line not understood: ${line}")
    endif()
  endforeach()
  if(lines STREQUAL "")
    message(FATAL_ERROR "${file}: no rows")
  endif()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# X(NAME, "meaning")
set(code_row "X\\(([A-Z_]+), \"([^\"]*)\"\\)")
read_rows(${root}/src/status/codes.h "${code_row}" codes)
set(CODE_NAMES "")
set(CODE_MEANINGS "")
foreach(line IN LISTS codes)
  string(REGEX MATCH "${code_row}" found "${line}")
  string(APPEND CODE_NAMES "    case CFILE_${CMAKE_MATCH_1}: return \"CFILE_${CMAKE_MATCH_1}\";\n")
  string(APPEND CODE_MEANINGS "    case CFILE_${CMAKE_MATCH_1}: return \"${CMAKE_MATCH_2}\";\n")
endforeach()

# X(number, constant, NAME, "meaning")
set(error_row "X\\(([0-9]+), k[A-Za-z0-9]+, ([A-Z0-9_]+), \"([^\"]*)\"\\)")
read_rows(${root}/src/platform/win32_errors.h "${error_row}" errors)
set(ERROR_NAMES "")
set(ERROR_MEANINGS "")
foreach(line IN LISTS errors)
  string(REGEX MATCH "${error_row}" found "${line}")
  string(APPEND ERROR_NAMES "    case ${CMAKE_MATCH_1}: return \"ERROR_${CMAKE_MATCH_2}\";\n")
  string(APPEND ERROR_MEANINGS "    case ${CMAKE_MATCH_1}: return \"${CMAKE_MATCH_3}\";\n")
endforeach()

if(CHECK)
  get_filename_component(scratch ${CMAKE_CURRENT_BINARY_DIR}/qorvel_status.h.made ABSOLUTE)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/qorvel_status.h.in ${scratch} @ONLY)
  file(READ ${scratch} made)
  file(REMOVE ${scratch})
  file(READ ${header} committed)
  if(NOT made STREQUAL committed)
    message(FATAL_ERROR "include/qorvel_status.h differs from the lists it is made from: "
                        "run cmake -P cmake/status-header.cmake")
  endif()
else()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/qorvel_status.h.in ${header} @ONLY)
endif()
