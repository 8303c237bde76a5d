# What a release carries besides the code: the license and the change log,
# the check that every place naming the release agrees, and the packages
# (CPack: Debian packages and a tarball on Linux, a zip on Windows).
include(GNUInstallDirs)

set(QORVEL_LICENSE "MIT")
set(QORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/qorvel)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${QORVEL_DOC_DIR} COMPONENT runtime)

if(QORVEL_BUILD_TESTS)
  add_test(NAME test_version_agrees
    COMMAND ${CMAKE_COMMAND} -DHEADER=${PROJECT_SOURCE_DIR}/include/qorvel.h
            -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DVERSION=${PROJECT_VERSION}
            -P ${CMAKE_CURRENT_LIST_DIR}/check-version.cmake)
  qorvel_test_limit(test_version_agrees 60)
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
set(CPACK_PACKAGE_CONTACT "The qorvel developers")
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

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqorvel${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "qorvel shared library\n One flat C interface (32 exports) to files, directories and volumes:\n share modes, byte-range locks, the read-only attribute and Win32 error\n numbers, the same on Linux and Windows. This package holds the shared\n library that hosts load.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libqorvel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "libqorvel${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "qorvel development files\n The header qorvel.h, the CMake package (find_package(qorvel), target\n qorvel::qorvel), the pkg-config file qorvel.pc and the HTML reference\n of the interface.")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME qorvel)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds libqorvel.so.1 in the runtime package being built and
# adds the libc and libstdc++ dependencies; the exact version pins the
# program to the library it was built with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS
  "libqorvel${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION
  "qorvel command-line program\n Makes every call of the qorvel library from a shell: files, locks,\n sharing, paths, volumes, status-line records. With a man page and bash\n completion.")

include(CPack)
