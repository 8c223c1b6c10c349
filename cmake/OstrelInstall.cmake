# Installation of the desktop integration and the man page, and the Debian
# package (`cpack -G DEB` in the build directory). The two programs install
# themselves from src/cli and src/gui.
include(GNUInstallDirs)

set(OSTREL_RESOURCE_DIR "${CMAKE_SOURCE_DIR}/resources")

install(FILES "${CMAKE_SOURCE_DIR}/docs/ostrel-check.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

if(OSTREL_BUILD_GUI)
  install(FILES "${OSTREL_RESOURCE_DIR}/ostrel.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${OSTREL_RESOURCE_DIR}/ostrel-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
          RENAME ostrel.xml)
  install(DIRECTORY "${OSTREL_RESOURCE_DIR}/icons/hicolor" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons"
          FILES_MATCHING PATTERN "*.png")
endif()

set(CPACK_PACKAGE_NAME "ostrel")
set(CPACK_PACKAGE_VENDOR "Ostrel developers")
set(CPACK_PACKAGE_CONTACT "Ostrel developers <ostrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel checks the Info.plist of macOS bundles (applications, frameworks, plug-ins, extensions) against a table of rules: value types, formats, required and recommended keys, deprecated and unknown keys. It has a desktop application, ostrel, and a command-line checker for scripts and CI, ostrel-check.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ostrel")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.invalid/ostrel")
# dpkg-shlibdeps works out the library packages (Qt 6) from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
