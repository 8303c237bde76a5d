# Makes include/qorvel_status.h from the two lists it describes: the library
# codes (src/status/codes.h) and the Win32 errors (src/platform/win32_errors.h),
# through the template cmake/qorvel_status.h.in.
#   cmake -P cmake/status-header.cmake              writes include/qorvel_status.h
#   cmake -DCHECK=ON -P cmake/status-header.cmake   fails when the header differs
set(root ${CMAKE_CURRENT_LIST_DIR}/..)
set(header ${root}/include/qorvel_status.h)

# The lists are X-macro lines, X(...) with a quoted meaning last, each of
# which must match `pattern`. For each line, `key`, `name` and `meaning` (with
# \\1, \\2, ... for the pattern's groups) make one case of each switch of the
# template: `case key: return "name";` into ${prefix}_NAMES, and the same
# with the meaning into ${prefix}_MEANINGS.
function(make_cases prefix file pattern key name meaning)
  file(READ ${file} text)
  # One row a line, up to its last parenthesis (the line's backslash stays out).
  string(REGEX MATCHALL "\n *X\\([^\n]*\\)" lines "${text}")
  if(lines STREQUAL "")
    message(FATAL_ERROR "${file}: no rows")
  endif()
  set(names "")
  set(meanings "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${pattern}")
      message(FATAL_ERROR "${file}: a line not understood: ${line}")
    endif()
    string(REGEX REPLACE ".*${pattern}.*" "    case ${key}: return \"${name}\";\n" case "${line}")
    string(APPEND names "${case}")
    string(REGEX REPLACE ".*${pattern}.*" "    case ${key}: return \"${meaning}\";\n" case "${line}")
    string(APPEND meanings "${case}")
  endforeach()
  set(${prefix}_NAMES "${names}" PARENT_SCOPE)
  set(${prefix}_MEANINGS "${meanings}" PARENT_SCOPE)
endfunction()

# X(NAME, "meaning")
make_cases(CODE ${root}/src/status/codes.h "X\\(([A-Z_]+), \"([^\"]*)\"\\)"
  "CFILE_\\1" "CFILE_\\1" "\\2")
# X(number, constant, NAME, "meaning")
make_cases(ERROR ${root}/src/platform/win32_errors.h
  "X\\(([0-9]+), k[A-Za-z0-9]+, ([A-Z0-9_]+), \"([^\"]*)\"\\)" "\\1" "ERROR_\\2" "\\3")

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
