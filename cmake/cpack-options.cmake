# Read by CPack for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  # Each component's description begins with its own synopsis.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
endif()
