# What a Debian package of ZAZIRUV holds beyond the programs and help documents, and
# how CPack makes it (scripts/package). Dependencies are found by dpkg-shlibdeps.

set(ZAZIRUV_MAINTAINER "Quorvanta <zaziruv@quorvanta.example>"
  CACHE STRING "Maintainer named in the Debian package")

# The date of the release in the AppStream metadata: the commit's, else today's
# (SOURCE_DATE_EPOCH when set).
set(ZAZIRUV_RELEASE_DATE "")
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%cs
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE ZAZIRUV_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT ZAZIRUV_RELEASE_DATE MATCHES "^[0-9]+-[0-9]+-[0-9]+$")
  string(TIMESTAMP ZAZIRUV_RELEASE_DATE "%Y-%m-%d" UTC)
endif()
configure_file(packaging/zaziruv.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/com.quorvanta.zaziruv.metainfo.xml @ONLY)

install(FILES packaging/zaziruv.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/zaziruv.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_BINARY_DIR}/com.quorvanta.zaziruv.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Manual pages go in compressed, as Debian policy wants them (-n: no time stamp).
find_program(ZAZIRUV_GZIP gzip REQUIRED)
set(zz_man_pages)
foreach(page zaziruv.1 zaziruv-cli.1 zaziruv-sim.1)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${ZAZIRUV_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${PROJECT_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND zz_man_pages ${PROJECT_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(zaziruv-man ALL DEPENDS ${zz_man_pages})
install(FILES ${zz_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/bash-completion/zaziruv packaging/bash-completion/zaziruv-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# Debian wants a copyright file and a compressed changelog ("changelog.gz", as a
# native package names it) in the package's doc folder.
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
string(TIMESTAMP ZAZIRUV_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${ZAZIRUV_GZIP} -9n -c ${PROJECT_BINARY_DIR}/changelog.Debian
    > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian)
add_custom_target(zaziruv-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# An example only: the operator copies it to /etc/udev/rules.d/ and adapts it.
install(FILES packaging/60-zaziruv-serial.rules
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zaziruv)
set(CPACK_PACKAGE_VENDOR Quorvanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 characters, as dpkg shows them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Operators type controller commands and read the decoded answers, run command"
  "files, and check, prepare and download them as macros into the controller's"
  "EEPROM, read them back, group them into combinations and copy a controller's"
  "program into a memory image. zaziruv is the window program, zaziruv-cli the"
  "same logic for scripts, zaziruv-sim a simulated controller on a"
  "pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZAZIRUV_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
