# What `make install` and the Debian package (`make package`, CPack's DEB
# generator) put beside the programs: manual pages, desktop metadata.

set(TIKORA_APPSTREAM_ID io.github.tikora.Tikora)

# Manual pages go in gzipped, as Debian's policy wants them.
set(man_pages)
foreach(page tikora.1 tikora-cli.1)
  set(source ${PROJECT_SOURCE_DIR}/res/man/${page})
  set(zipped ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${zipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${source} ${zipped}
    DEPENDS ${source} VERBATIM)
  list(APPEND man_pages ${zipped})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION share/man/man1)
install(FILES res/${TIKORA_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)
# The licence (GPL-3.0-or-later) travels with the program.
install(FILES LICENSE DESTINATION share/doc/tikora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tikora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Reached through the project's issue tracker; there is no mailing address.
set(CPACK_PACKAGE_CONTACT "The Tikora developers <https://github.com/tikora/tikora/issues>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check the PC clock against a time server; moon almanac")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tikora checks the PC's clock against an RFC 868 time server, shows the\n"
    "correction and, when allowed, sets the clock. It also shows an almanac of\n"
    "the moon and the sun and lists the year's new and full moons and meteor\n"
    "showers. It lives in the notification area. tikora-cli does the same jobs\n"
    "in a terminal and serves the Time protocol.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # tikora_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Authenticated time checks servers' certificates against the system's store.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ca-certificates)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/tikora/tikora)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The package grants no right to set the clock: CPack stages the install
# with DESTDIR under _CPack_Packages, where the capability step does nothing.
include(CPack)
