# The release number stands in three places that must agree: the CMake
# project version, the version macros of the public header and the newest
# entry of the change log.
#   -DHEADER=<qorvel.h> -DCHANGELOG=<CHANGELOG.md> -DVERSION=<major.minor.patch>
file(READ "${HEADER}" header)
set(parts MAJOR MINOR PATCH)
string(REPLACE "." ";" numbers "${VERSION}")
foreach(part number IN ZIP_LISTS parts numbers)
  if(NOT header MATCHES "#define QORVEL_VERSION_${part} ([0-9]+)")
    message(FATAL_ERROR "qorvel.h does not define QORVEL_VERSION_${part}")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL number)
    message(FATAL_ERROR "QORVEL_VERSION_${part} is ${CMAKE_MATCH_1}, the project version ${VERSION} says ${number}")
  endif()
endforeach()

file(STRINGS "${CHANGELOG}" entries REGEX "^## [0-9]")
list(GET entries 0 newest)
if(NOT newest MATCHES "^## ${VERSION}( |$)")
  message(FATAL_ERROR "the newest entry of CHANGELOG.md is '${newest}', not ${VERSION}")
endif()
message(STATUS "qorvel.h, CHANGELOG.md and the project agree on ${VERSION}")
