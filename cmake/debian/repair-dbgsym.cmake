# CPack post-build step (CPACK_POST_BUILD_SCRIPTS): the -dbgsym packages as
# Debian makes them. CPack 3.25 lists the debug files in DEBIAN/md5sums by
# their absolute paths in the build tree, which dpkg --verify and lintian
# reject; and a debug package keeps its documents where its library's are,
# /usr/share/doc/<package>-dbgsym being a link to /usr/share/doc/<package>.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/([^/_]+)-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(owner ${CMAKE_MATCH_1})
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(STRINGS ${tree}/DEBIAN/md5sums sums)
  list(TRANSFORM sums REPLACE "^([0-9a-f]+)  .*/usr/lib/debug/" "\\1  usr/lib/debug/")
  list(JOIN sums "\n" sums)
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}\n")
  file(MAKE_DIRECTORY ${tree}/usr/share/doc)
  file(CREATE_LINK ${owner} ${tree}/usr/share/doc/${owner}-dbgsym SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -b ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
