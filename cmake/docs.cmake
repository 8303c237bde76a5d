# Documentation that installs with the library and the program: the HTML
# reference of qorvel.h (Doxygen, every warning an error, so an undocumented
# export fails the build), the topic documents it links to, the man page
# qorvel(1) and the bash completion of the program.
include(GNUInstallDirs)

set(QORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/qorvel)

find_package(Doxygen QUIET)
if(DOXYGEN_FOUND AND QORVEL_TOP_LEVEL)
  set(QORVEL_DOCS_DEFAULT ON)
else()
  set(QORVEL_DOCS_DEFAULT OFF)
endif()
option(QORVEL_BUILD_DOCS "Build the HTML reference of qorvel.h with Doxygen" ${QORVEL_DOCS_DEFAULT})

if(QORVEL_BUILD_DOCS)
  if(NOT DOXYGEN_FOUND)
    message(FATAL_ERROR "QORVEL_BUILD_DOCS needs Doxygen (Debian: apt-get install doxygen)")
  endif()
  set(QORVEL_DOXYGEN_OUTPUT ${PROJECT_BINARY_DIR}/docs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
  # The reference links to the topic documents as its neighbours
  # (../status-codes.md): they are copied beside it in the build tree, as
  # they are installed beside it, so its links hold in both places.
  file(GLOB QORVEL_TOPIC_DOCS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md
       ${PROJECT_SOURCE_DIR}/docs/*.svg ${PROJECT_SOURCE_DIR}/docs/*.dat)
  list(REMOVE_ITEM QORVEL_TOPIC_DOCS ${PROJECT_SOURCE_DIR}/docs/reference.md)
  add_custom_command(
    OUTPUT ${QORVEL_DOXYGEN_OUTPUT}/html/index.html
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QORVEL_DOXYGEN_OUTPUT}/html
    COMMAND ${DOXYGEN_EXECUTABLE} ${PROJECT_BINARY_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -E copy ${QORVEL_TOPIC_DOCS} ${QORVEL_DOXYGEN_OUTPUT}
    DEPENDS ${PROJECT_SOURCE_DIR}/include/qorvel.h ${PROJECT_SOURCE_DIR}/include/qorvel_status.h
            ${PROJECT_SOURCE_DIR}/docs/reference.md
            ${PROJECT_BINARY_DIR}/Doxyfile ${QORVEL_TOPIC_DOCS}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Building the HTML reference of qorvel.h (Doxygen, warnings are errors)"
    VERBATIM)
  add_custom_target(docs ALL DEPENDS ${QORVEL_DOXYGEN_OUTPUT}/html/index.html)
  install(DIRECTORY ${QORVEL_DOXYGEN_OUTPUT}/html
    DESTINATION ${QORVEL_DOC_DIR} COMPONENT development)
  install(FILES ${QORVEL_TOPIC_DOCS} DESTINATION ${QORVEL_DOC_DIR} COMPONENT development)
endif()

if(TARGET qorvel_cli AND NOT WIN32)
  # Installed compressed, as man finds it and Debian wants it.
  find_program(QORVEL_GZIP gzip REQUIRED)
  set(QORVEL_MAN_PAGE ${PROJECT_BINARY_DIR}/docs/qorvel.1.gz)
  add_custom_command(OUTPUT ${QORVEL_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/docs
    COMMAND ${CMAKE_COMMAND} -DGZIP=${QORVEL_GZIP} -DIN=${PROJECT_SOURCE_DIR}/docs/qorvel.1
            -DOUT=${QORVEL_MAN_PAGE} -P ${CMAKE_CURRENT_LIST_DIR}/gzip.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/qorvel.1 VERBATIM)
  add_custom_target(man_page ALL DEPENDS ${QORVEL_MAN_PAGE})
  install(FILES ${QORVEL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
  # bash-completion loads completions/<command> on first use, from
  # /usr/share, /usr/local/share and every other XDG_DATA_DIRS entry.
  install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/qorvel
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT program)

  if(QORVEL_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
    find_program(QORVEL_GROFF groff)
    if(QORVEL_GROFF)
      add_test(NAME test_man_page
        COMMAND ${CMAKE_COMMAND} -DGROFF=${QORVEL_GROFF} -DPAGE=${PROJECT_SOURCE_DIR}/docs/qorvel.1
                -DTABLE=${PROJECT_SOURCE_DIR}/docs/cli.md
                -DQORVEL=$<TARGET_FILE:qorvel_cli> -P ${CMAKE_CURRENT_LIST_DIR}/check-man-page.cmake)
      qorvel_test_limit(test_man_page 60)
    endif()
    find_program(QORVEL_BASH bash)
    if(QORVEL_BASH)
      add_test(NAME test_bash_completion
        COMMAND ${QORVEL_BASH} ${PROJECT_SOURCE_DIR}/tests/cli/completion.sh
                ${PROJECT_SOURCE_DIR}/tools/completion/qorvel $<TARGET_FILE:qorvel_cli>)
      qorvel_test_limit(test_bash_completion 60)
    endif()
  endif()
endif()
