# Installation of the desktop integration, the manual pages and the package's
# documents, and the Debian package (`cpack -G DEB` in the build directory).
# The two programs install themselves from src/cli and src/gui.
include(GNUInstallDirs)

set(OSTREL_RESOURCE_DIR "${CMAKE_SOURCE_DIR}/resources")
# The AppStream ID; the desktop entry, the icons and the MIME package carry it.
set(OSTREL_APP_ID "org.ostrel.Ostrel")
set(OSTREL_CONTACT "Ostrel developers <no-reply@ostrel.org>")
set(OSTREL_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/ostrel")
# Debian wants every installed directory at 0755, whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

find_program(OSTREL_GZIP gzip REQUIRED)
set(OSTREL_GENERATED_DOC_DIR "${CMAKE_BINARY_DIR}/doc")
file(MAKE_DIRECTORY "${OSTREL_GENERATED_DOC_DIR}")

# Compressed as Debian asks: the most, and without a time stamp, so that two
# builds give the same bytes.
function(ostrel_gzip input output)
  add_custom_command(OUTPUT "${output}" COMMAND "${OSTREL_GZIP}" -9 -n -c "${input}" > "${output}"
                     DEPENDS "${input}" ${ARGN})
endfunction()

# The manual pages: help2man runs each program's --help and --version and adds
# the sections of docs/man/NAME.h2m, so the options listed are the programs' own.
# Builds for fuzzing or with sanitizers are never installed, and their programs may
# report leaks at exit, which help2man would take for a failure.
set(manual_programs)
if(NOT OSTREL_BUILD_FUZZERS AND NOT OSTREL_SANITIZE)
  list(APPEND manual_programs ostrel-check)
  if(OSTREL_BUILD_GUI)
    list(APPEND manual_programs ostrel)
  endif()
endif()
set(manual_pages)
if(manual_programs)
  find_program(OSTREL_HELP2MAN help2man REQUIRED)
endif()
foreach(program ${manual_programs})
  set(include "${CMAKE_SOURCE_DIR}/docs/man/${program}.h2m")
  set(page "${OSTREL_GENERATED_DOC_DIR}/${program}.1")
  add_custom_command(OUTPUT "${page}"
                     COMMAND "${OSTREL_HELP2MAN}" --include "${include}" --output "${page}" "$<TARGET_FILE:${program}>"
                     DEPENDS ${program} "${include}" VERBATIM)
  ostrel_gzip("${page}" "${page}.gz")
  list(APPEND manual_pages "${page}.gz")
endforeach()

# The changelog and the AppStream releases must name the version being built,
# or the package would describe another one.
file(READ "${CMAKE_SOURCE_DIR}/docs/debian/changelog" changelog_text LIMIT 200)
file(READ "${OSTREL_RESOURCE_DIR}/${OSTREL_APP_ID}.metainfo.xml" metainfo_text)
string(FIND "${changelog_text}" "ostrel (${PROJECT_VERSION}) " changelog_at)
string(FIND "${metainfo_text}" "<release version=\"${PROJECT_VERSION}\"" release_at)
if(NOT changelog_at EQUAL 0 OR release_at EQUAL -1)
  message(FATAL_ERROR "docs/debian/changelog must begin with, and resources/${OSTREL_APP_ID}.metainfo.xml "
                      "must list, the release ${PROJECT_VERSION}")
endif()

set(changelog "${OSTREL_GENERATED_DOC_DIR}/changelog.gz")
ostrel_gzip("${CMAKE_SOURCE_DIR}/docs/debian/changelog" "${changelog}")
add_custom_target(documentation ALL DEPENDS ${manual_pages} "${changelog}")

if(manual_pages)
  install(FILES ${manual_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()
install(FILES "${CMAKE_SOURCE_DIR}/docs/debian/copyright" "${changelog}" DESTINATION "${OSTREL_DOC_DIR}")

if(OSTREL_BUILD_GUI)
  install(FILES "${OSTREL_RESOURCE_DIR}/${OSTREL_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${OSTREL_RESOURCE_DIR}/${OSTREL_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
  install(FILES "${OSTREL_RESOURCE_DIR}/ostrel-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
          RENAME "${OSTREL_APP_ID}.xml")
  install(DIRECTORY "${OSTREL_RESOURCE_DIR}/icons/hicolor" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons"
          FILES_MATCHING PATTERN "*.png")
endif()

set(CPACK_PACKAGE_NAME "ostrel")
set(CPACK_PACKAGE_VENDOR "Ostrel developers")
set(CPACK_PACKAGE_CONTACT "${OSTREL_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "checker for the Info.plist files of macOS bundles")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ostrel")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OSTREL_CONTACT}")
# The extended description, under the summary as its synopsis, wrapped for
# the 80 columns that package managers show.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ostrel checks the information property lists (Info.plist) of macOS
applications, frameworks, plug-ins, extensions and kernel extensions
against a table of rules: the kind and format of each value, required
and recommended keys, deprecated keys, unknown keys and likely
misspellings of known ones. XML, binary and old-style property lists
are read.
.
This package holds the desktop application, ostrel, and the
command-line checker for scripts and CI, ostrel-check.")
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ostrel.org/")
# The licence, Apache-2.0, is stated where Debian looks for it: the copyright file.
# dpkg-shlibdeps works out the library packages (Qt 6) from the binaries;
# the window also needs Qt's platform plug-ins, which no binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(OSTREL_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "7zip") # disk images are read through it
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
