# Installation of the desktop integration, the manual pages and the packages'
# documents, and the Debian packages (`cpack -G DEB` in the build directory):
# ostrel-check (the command line, component cli) and ostrel (the window,
# component gui, which depends on the first).
# The two programs install themselves from src/cli and src/gui.
include(GNUInstallDirs)

set(OSTREL_RESOURCE_DIR "${CMAKE_SOURCE_DIR}/resources")
# The AppStream ID; the desktop entry, the icons and the MIME package carry it.
set(OSTREL_APP_ID "org.ostrel.Ostrel")
set(OSTREL_CONTACT "Ostrel developers <no-reply@ostrel.org>")
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
  set(includes --include "${include}")
  set(depends ${program} "${include}")
  # ostrel-check's page lists every finding ID, from the catalogue.
  if(program STREQUAL "ostrel-check")
    set(section "${OSTREL_GENERATED_DOC_DIR}/findings.h2m")
    add_custom_command(OUTPUT "${section}"
                       COMMAND "${CMAKE_SOURCE_DIR}/tools/finding-catalogue/man-section" "$<TARGET_FILE:ostrel-check>"
                               "${section}"
                       DEPENDS ostrel-check "${CMAKE_SOURCE_DIR}/tools/finding-catalogue/man-section" VERBATIM)
    list(APPEND includes --include "${section}")
    list(APPEND depends "${section}")
  endif()
  add_custom_command(OUTPUT "${page}"
                     COMMAND "${OSTREL_HELP2MAN}" ${includes} --output "${page}" "$<TARGET_FILE:${program}>"
                     DEPENDS ${depends} VERBATIM)
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

foreach(program ${manual_programs})
  set(component cli)
  if(program STREQUAL "ostrel")
    set(component gui)
  endif()
  install(FILES "${OSTREL_GENERATED_DOC_DIR}/${program}.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
          COMPONENT ${component})
endforeach()
# Each package carries the copyright and changelog in its own folder, as Debian asks.
set(OSTREL_PACKAGES cli ostrel-check)
if(OSTREL_BUILD_GUI)
  list(APPEND OSTREL_PACKAGES gui ostrel)
endif()
while(OSTREL_PACKAGES)
  list(POP_FRONT OSTREL_PACKAGES component package)
  install(FILES "${CMAKE_SOURCE_DIR}/docs/debian/copyright" "${changelog}"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" COMPONENT ${component})
endwhile()

if(OSTREL_BUILD_GUI)
  install(FILES "${OSTREL_RESOURCE_DIR}/${OSTREL_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
          COMPONENT gui)
  install(FILES "${OSTREL_RESOURCE_DIR}/${OSTREL_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo"
          COMPONENT gui)
  install(FILES "${OSTREL_RESOURCE_DIR}/ostrel-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
          RENAME "${OSTREL_APP_ID}.xml" COMPONENT gui)
  install(DIRECTORY "${OSTREL_RESOURCE_DIR}/icons/hicolor" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons"
          COMPONENT gui FILES_MATCHING PATTERN "*.png")
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
set(ostrel_description
    "Ostrel checks the information property lists (Info.plist) of macOS
applications, frameworks, plug-ins, extensions and kernel extensions
against a table of rules: the kind and format of each value, required
and recommended keys, deprecated keys, unknown keys and likely
misspellings of known ones. XML, binary and old-style property lists
are read.")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${ostrel_description}
.
This package holds the desktop application, ostrel.")
set(CPACK_DEBIAN_CLI_DESCRIPTION "${ostrel_description}
.
This package holds the command-line checker for scripts and CI,
ostrel-check, which needs no graphical environment.")
set(CPACK_DEBIAN_GUI_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(OSTREL_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_DEBIAN_CLI_PACKAGE_NAME "ostrel-check")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME "ostrel")
set(CPACK_DEBIAN_CLI_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_GUI_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ostrel.org/")
# The licence, Apache-2.0, is stated where Debian looks for it: the copyright file.
# dpkg-shlibdeps works out the library packages (Qt 6) from the binaries;
# the window also needs Qt's platform plug-ins, which no binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window runs the checks of the command-line package's version.
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "ostrel-check (= ${PROJECT_VERSION}), qt6-qpa-plugins")
# Disk images are read through 7-Zip; the window gets it through ostrel-check.
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "7zip")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
