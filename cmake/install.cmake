# Installation: the shared library (with its SONAME and version links on
# ELF systems, the DLL and its import library on Windows), the public header,
# a CMake package with the imported target qorvel::qorvel, a pkg-config file,
# and the qorvel program.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QORVEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/qorvel)

install(TARGETS qorvel EXPORT qorvelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/qorvel.h ${PROJECT_SOURCE_DIR}/include/qorvel_status.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(WIN32)
  # The module-definition file lists the exports with their ordinals, for
  # hosts that make their own import library.
  install(FILES ${PROJECT_SOURCE_DIR}/src/qorvel.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()

install(EXPORT qorvelTargets NAMESPACE qorvel::
  DESTINATION ${QORVEL_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/qorvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qorvelConfig.cmake
  INSTALL_DESTINATION ${QORVEL_INSTALL_CMAKEDIR})
# The interface is fixed within a major version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qorvelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qorvelConfig.cmake ${PROJECT_BINARY_DIR}/qorvelConfigVersion.cmake
  DESTINATION ${QORVEL_INSTALL_CMAKEDIR} COMPONENT development)

# The .pc file finds the prefix from its own place, so an installation moved
# elsewhere (or made with `cmake --install --prefix`) still describes itself.
set(QORVEL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QORVEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH QORVEL_PC_UP "/root/${QORVEL_PC_DIR}" "/root")
  string(REGEX REPLACE "/$" "" QORVEL_PC_UP "${QORVEL_PC_UP}")
  set(QORVEL_PC_PREFIX "\${pcfiledir}/${QORVEL_PC_UP}")
endif()
set(QORVEL_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
set(QORVEL_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
foreach(dir QORVEL_PC_LIBDIR QORVEL_PC_INCLUDEDIR)
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "\${prefix}/${${dir}}")
  endif()
endforeach()
# The static library is C++ inside: a C host links the C++ run time with it
# (`pkg-config --static --libs`), and compiles with QORVEL_STATIC, which
# keeps the declarations free of DLL import marks on Windows.
if(QORVEL_LIBRARY_TYPE STREQUAL "STATIC")
  set(QORVEL_PC_CFLAGS " -DQORVEL_STATIC")
  set(QORVEL_PC_LIBS_PRIVATE "-lstdc++")
else()
  set(QORVEL_PC_CFLAGS "")
  set(QORVEL_PC_LIBS_PRIVATE "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/qorvel.pc.in ${PROJECT_BINARY_DIR}/qorvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qorvel.pc DESTINATION ${QORVEL_PC_DIR} COMPONENT development)

if(TARGET qorvel_cli)
  # The installed program finds the library relative to itself, wherever the
  # installation lands; under /usr the loader finds it anyway.
  if(NOT WIN32 AND NOT APPLE AND NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}"
     AND NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    file(RELATIVE_PATH QORVEL_BIN_TO_LIB "/root/${CMAKE_INSTALL_BINDIR}" "/root/${CMAKE_INSTALL_LIBDIR}")
    set_target_properties(qorvel_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${QORVEL_BIN_TO_LIB}")
  endif()
  install(TARGETS qorvel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
endif()
