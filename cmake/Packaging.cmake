# The Debian package of the Linux build: kestrel-cli, its definition and
# limit files and HTML folder in /usr/share/kestrel, the manual page, and
# the watch as a systemd service with its log rotation.
#   cmake --build --preset host --target package   (or cpack -G DEB in
#   build/host) writes build/host/kestrel_<version>_<arch>.deb.
# The program finds its data from its own directory, so the package's /usr
# needs no rebuild with that prefix.

# The manual page, compressed as Debian ships them (no name or time stamp
# in the gzip header).
find_program(KESTREL_GZIP gzip REQUIRED)
set(KESTREL_MAN_PAGE ${CMAKE_BINARY_DIR}/man/kestrel-cli.1.gz)
add_custom_command(OUTPUT ${KESTREL_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/kestrel-cli.1
          ${CMAKE_BINARY_DIR}/man/kestrel-cli.1
  COMMAND ${KESTREL_GZIP} -9nf ${CMAKE_BINARY_DIR}/man/kestrel-cli.1
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/kestrel-cli.1
  COMMENT "Compressing the manual page")
add_custom_target(kestrel_man ALL DEPENDS ${KESTREL_MAN_PAGE})
install(FILES ${KESTREL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The HTML folder as the build wrote it, without the reports runs left in
# it.
foreach(file ${KESTREL_HTML_FILES})
  file(RELATIVE_PATH relative ${CMAKE_BINARY_DIR}/html ${file})
  get_filename_component(folder ${relative} DIRECTORY)
  install(FILES ${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel/html/${folder})
endforeach()

# The service and the log rotation name /usr/bin/kestrel-cli and belong
# where systemd and logrotate look: the package's alone, left out of a hand
# install (cmake --install) under another prefix.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kestrel.service
  DESTINATION /lib/systemd/system COMPONENT service EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kestrel.logrotate
  DESTINATION /etc/logrotate.d RENAME kestrel COMPONENT service EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};Kestrel;ALL;/;${CMAKE_BINARY_DIR};Kestrel;service;/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(KESTREL_MAINTAINER
  "Kestrel maintainers <maintainers@users.noreply.c-seed-a7153d2f.example>"
  CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_CONTACT "${KESTREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hard-disk S.M.A.R.T. diagnosis and watch")
# The extended description; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION
  "kestrel-cli reads the identity and S.M.A.R.T. attributes of ATA, SATA and
NVMe disks, judges every attribute against its threshold and goodness
limits and prints the drive table, once or as a watch that logs every
change. The kestrel service runs the watch, logging to
/var/log/kestrel/kestrel.log.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS logrotate)
set(CPACK_STRIP_FILES ON)
# The maintainer scripts tell systemd of the unit and stop and disable it
# on removal; the log rotation is a configuration file.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/debian/conffiles
  ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
  ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
  ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
