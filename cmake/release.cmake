# What a release carries besides the code: the license and the change log,
# the check that every place naming the release agrees, and the packages
# (CPack: Debian packages and a tarball on Linux, a zip on Windows).
include(GNUInstallDirs)

set(QORVEL_LICENSE "MIT")
set(QORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/qorvel)
set(QORVEL_PACKAGE_MAINTAINER "The qorvel developers <qorvel@example.org>"
  CACHE STRING "Name <address> of the packages' maintainer")

# Debian keeps each package's copyright and change log in
# /usr/share/doc/<package>/ (debian-docs.cmake makes them). Elsewhere the
# license and the change log go to the one document directory.
if(NOT WIN32 AND CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(QORVEL_DEBIAN_DOCS_DEFAULT ON)
else()
  set(QORVEL_DEBIAN_DOCS_DEFAULT OFF)
endif()
option(QORVEL_DEBIAN_DOCS "Install Debian's copyright and changelog.gz per package"
  ${QORVEL_DEBIAN_DOCS_DEFAULT})
set(QORVEL_DEBIAN_PACKAGE_runtime libqorvel${PROJECT_VERSION_MAJOR})
set(QORVEL_DEBIAN_PACKAGE_development libqorvel-dev)
set(QORVEL_DEBIAN_PACKAGE_program qorvel)
if(QORVEL_DEBIAN_DOCS)
  include(${CMAKE_CURRENT_LIST_DIR}/debian-docs.cmake)
  find_program(QORVEL_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${QORVEL_DEBIAN_CHANGELOG}.gz
    COMMAND ${CMAKE_COMMAND} -DGZIP=${QORVEL_GZIP} -DIN=${QORVEL_DEBIAN_CHANGELOG}
            -DOUT=${QORVEL_DEBIAN_CHANGELOG}.gz -P ${CMAKE_CURRENT_LIST_DIR}/gzip.cmake
    DEPENDS ${QORVEL_DEBIAN_CHANGELOG} VERBATIM)
  add_custom_target(debian_changelog ALL DEPENDS ${QORVEL_DEBIAN_CHANGELOG}.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
  foreach(component runtime development program)
    install(FILES ${QORVEL_DEBIAN_COPYRIGHT} ${QORVEL_DEBIAN_CHANGELOG}.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${QORVEL_DEBIAN_PACKAGE_${component}}
      COMPONENT ${component})
  endforeach()
  # The lintian warnings kept, each with its reason.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/libqorvel1.lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME ${QORVEL_DEBIAN_PACKAGE_runtime} COMPONENT runtime)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    DESTINATION ${QORVEL_DOC_DIR} COMPONENT runtime)
endif()

if(QORVEL_BUILD_TESTS)
  add_test(NAME test_version_agrees
    COMMAND ${CMAKE_COMMAND} -DHEADER=${PROJECT_SOURCE_DIR}/include/qorvel.h
            -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DVERSION=${PROJECT_VERSION}
            -P ${CMAKE_CURRENT_LIST_DIR}/check-version.cmake)
  add_test(NAME test_status_header
    COMMAND ${CMAKE_COMMAND} -DCHECK=ON -P ${CMAKE_CURRENT_LIST_DIR}/status-header.cmake)
  qorvel_test_limit(test_version_agrees 60)
  qorvel_test_limit(test_status_header 60)
endif()

# ---- Packages -------------------------------------------------------------------
# Three Debian packages, split the usual way for a shared library:
#   libqorvel1     runtime: libqorvel.so.1 and .so.1.0.0, license, change log;
#                  its shlibs file ties hosts to the SONAME
#   libqorvel-dev  development: qorvel.h, the libqorvel.so link, the CMake
#                  package, qorvel.pc, the HTML reference
#   qorvel         the program, its man page and bash completion
# Hosts built against libqorvel-dev depend on libqorvel1 only; a second major
# version would be libqorvel2 and install beside it.
set(CPACK_PACKAGE_NAME qorvel)
set(CPACK_PACKAGE_VENDOR "The qorvel developers")
set(CPACK_PACKAGE_CONTACT "${QORVEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "One flat C interface to files, directories and volumes, with the same answers on Linux and Windows")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME "qorvel-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}")
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME "qorvel-${PROJECT_VERSION}-win32")
  else()
    set(CPACK_PACKAGE_FILE_NAME "qorvel-${PROJECT_VERSION}-win64")
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS OFF)
# The packages hold stripped binaries; their debug information goes to
# <package>-dbgsym_*.ddeb beside them, found by build ID under
# /usr/lib/debug/.build-id/ once installed (gdb loads it by itself).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/repair-dbgsym.cmake)
# CPack would put the project's one-line summary before every package's
# description, giving all three the same synopsis; each package's own first
# line is its synopsis instead (cpack-options.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QORVEL_DEBIAN_PACKAGE_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# ldconfig through a trigger, not called from maintainer scripts.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Windows file semantics for hosts on Linux - shared library\nOne flat C interface (32 exports) to files, directories and volumes:\nshare modes, byte-range locks, the read-only attribute and Win32 error\nnumbers, the same on Linux and Windows. This package holds the shared\nlibrary that hosts load.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${QORVEL_DEBIAN_PACKAGE_development})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "libqorvel${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "Windows file semantics for hosts on Linux - development files\nThe headers qorvel.h and qorvel_status.h, the CMake package\n(find_package(qorvel), target qorvel::qorvel), the pkg-config file\nqorvel.pc and the HTML reference of the interface.")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME ${QORVEL_DEBIAN_PACKAGE_program})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds libqorvel.so.1 in the runtime package being built and
# adds the libc and libstdc++ dependencies; the exact version pins the
# program to the library it was built with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS
  "libqorvel${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION
  "command-line host of the qorvel file library\nMakes every call of the qorvel library from a shell: files, locks,\nsharing, paths, volumes, status-line records; shows who holds a file\n(qorvel holders). With a man page and bash completion.")

# CPack's settings are the whole build's: a project that embeds qorvel makes
# its own packages.
if(QORVEL_TOP_LEVEL)
  include(CPack)
endif()
