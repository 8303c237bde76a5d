# The two documents Debian expects in /usr/share/doc/<package>/ of every
# package, made at configure time from the project's own LICENSE and
# CHANGELOG.md:
#   copyright      the machine-readable copyright format 1.0, MIT, with the
#                  license text and copyright line of LICENSE
#   changelog      CHANGELOG.md's releases as a Debian change log (the
#                  packages are native: their version is the release)
# Included by release.cmake; sets QORVEL_DEBIAN_COPYRIGHT and
# QORVEL_DEBIAN_CHANGELOG (the uncompressed change log).

# ---- copyright ------------------------------------------------------------------
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.*)$")
  message(FATAL_ERROR "LICENSE: no 'Copyright (c) ...' line followed by the license text")
endif()
set(holder "${CMAKE_MATCH_1}")
set(text "${CMAKE_MATCH_2}")
string(STRIP "${text}" text)
# Each line of a field's text is indented by one space; an empty line is " .".
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " text "${text}")
set(QORVEL_DEBIAN_COPYRIGHT ${PROJECT_BINARY_DIR}/debian/copyright)
file(WRITE ${QORVEL_DEBIAN_COPYRIGHT}
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: ${PROJECT_NAME}\n"
  "Upstream-Contact: ${QORVEL_PACKAGE_MAINTAINER}\n"
  "\n"
  "Files: *\n"
  "Copyright: ${holder}\n"
  "License: Expat\n"
  "\n"
  "License: Expat\n"
  " ${text}\n")

# ---- changelog ------------------------------------------------------------------
# "## 1.0.0 — 2026-12-08" opens a release; its "- " items become "  * "
# entries, their continuation lines follow indented, "### " headings become
# "  [ heading ]".
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md lines ENCODING UTF-8)
set(changelog "")
set(trailer "")
function(release_trailer date out)
  execute_process(COMMAND date -u -R -d "${date} 00:00:00" OUTPUT_VARIABLE when
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "CHANGELOG.md: '${date}' is not a date")
  endif()
  set(${out} "\n -- ${QORVEL_PACKAGE_MAINTAINER}  ${when}\n" PARENT_SCOPE)
endfunction()
foreach(line IN LISTS lines)
  if(line MATCHES "^## ([0-9.]+) [^0-9]* ([0-9]+-[0-9]+-[0-9]+)$")
    if(NOT trailer STREQUAL "")
      string(APPEND changelog "${trailer}\n")
    endif()
    string(APPEND changelog "${PROJECT_NAME} (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
    release_trailer(${CMAKE_MATCH_2} trailer)
  elseif(trailer STREQUAL "")
    continue()  # the preamble before the first release
  elseif(line MATCHES "^### (.*)$")
    string(APPEND changelog "  [ ${CMAKE_MATCH_1} ]\n")
  elseif(line MATCHES "^- (.*)$")
    string(APPEND changelog "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  +(.*)$")
    string(APPEND changelog "    ${CMAKE_MATCH_1}\n")
  elseif(NOT line STREQUAL "")
    string(APPEND changelog "  * ${line}\n")
  endif()
endforeach()
if(trailer STREQUAL "")
  message(FATAL_ERROR "CHANGELOG.md: no release ('## X.Y.Z — YYYY-MM-DD')")
endif()
set(QORVEL_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog)
file(WRITE ${QORVEL_DEBIAN_CHANGELOG} "${changelog}${trailer}")
