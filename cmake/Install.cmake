# What `cmake --install` puts where, and the Debian package made of it.
#
# Installed: the programs sitelore and sitelore-report into bin/; the desktop
# entry, the icons in the hicolor theme, the AppStream metainfo, the manual
# pages and the package's copyright and changelog under share/. Nothing else
# (no test, benchmark, demo or fixture program) and nothing outside the
# prefix. The files that are not written by hand (icons rendered from the
# window's drawing, compressed manual pages and changelog) are made in the
# build, with the programs.
#
# `make deb` (cpack in the build folder) makes the package, installed under
# /usr; its library dependencies are derived by dpkg-shlibdeps.

include(GNUInstallDirs)

# The reverse-DNS id of the desktop entry, the metainfo and the icon; the
# window asks the theme for its icon under the same name.
set(SITELORE_APP_ID example.brightmoor.Sitelore)
set(SITELORE_PACKAGE sitelore)
set(SITELORE_PACKAGING_SOURCE ${PROJECT_SOURCE_DIR}/packaging)
set(SITELORE_PACKAGING_BUILD ${CMAKE_BINARY_DIR}/packaging)
set(SITELORE_ICON_SIZES 16 22 24 32 48 64 128 256)
set(SITELORE_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SITELORE_PACKAGE})

# Debian wants directories 0755 whatever the umask of the one who installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(GZIP_EXECUTABLE gzip REQUIRED)

# sitelore_gzip(SOURCE OUTPUT): OUTPUT is SOURCE compressed as Debian wants
# it (best compression, no name or time stamp, so builds are reproducible).
function(sitelore_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

# sitelore_manual_page(NAME): NAME.1.in with the version filled in, compressed.
function(sitelore_manual_page name)
  configure_file(${SITELORE_PACKAGING_SOURCE}/${name}.1.in ${SITELORE_PACKAGING_BUILD}/${name}.1
                 @ONLY)
  sitelore_gzip(${SITELORE_PACKAGING_BUILD}/${name}.1 ${SITELORE_PACKAGING_BUILD}/${name}.1.gz)
  install(FILES ${SITELORE_PACKAGING_BUILD}/${name}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(SITELORE_GENERATED ${SITELORE_GENERATED} ${SITELORE_PACKAGING_BUILD}/${name}.1.gz
      PARENT_SCOPE)
endfunction()

set(SITELORE_GENERATED)

install(TARGETS sitelore-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
sitelore_manual_page(sitelore-report)

if(TARGET sitelore)
  install(TARGETS sitelore RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  sitelore_manual_page(sitelore)
  install(FILES ${SITELORE_PACKAGING_SOURCE}/${SITELORE_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${SITELORE_PACKAGING_SOURCE}/${SITELORE_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The window's drawing, rendered at each size of the theme.
  find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert REQUIRED)
  set(icon_source ${PROJECT_SOURCE_DIR}/ui/icons/sitelore.svg)
  foreach(size ${SITELORE_ICON_SIZES})
    set(icon ${SITELORE_PACKAGING_BUILD}/icons/${size}x${size}/${SITELORE_APP_ID}.png)
    add_custom_command(OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${SITELORE_PACKAGING_BUILD}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT_EXECUTABLE} --width ${size} --height ${size} --output ${icon}
              ${icon_source}
      DEPENDS ${icon_source}
      VERBATIM)
    install(FILES ${icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND SITELORE_GENERATED ${icon})
  endforeach()
  install(FILES ${icon_source} RENAME ${SITELORE_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

sitelore_gzip(${SITELORE_PACKAGING_SOURCE}/changelog ${SITELORE_PACKAGING_BUILD}/changelog.gz)
list(APPEND SITELORE_GENERATED ${SITELORE_PACKAGING_BUILD}/changelog.gz)
install(FILES ${SITELORE_PACKAGING_SOURCE}/copyright ${SITELORE_PACKAGING_BUILD}/changelog.gz
        DESTINATION ${SITELORE_DOCDIR})

add_custom_target(sitelore_installed_files ALL DEPENDS ${SITELORE_GENERATED})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME ${SITELORE_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brightmoor, Inc.")
set(CPACK_PACKAGE_CONTACT "\"Brightmoor, Inc.\" <sitelore@brightmoor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browsing traces a web browser left, by web site")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Sitelore shows which browsing traces a web browser has left on this computer,\n"
    "grouped by web site: cached images, pages, media and other files, cookies and\n"
    "history entries. It reads the WinINet URL cache, as Internet Explorer and the\n"
    "WinINet of Wine keep it, and never changes it.\n"
    ".\n"
    "The command sitelore-report writes the same sites and traces as text or JSON.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.brightmoor.example/sitelore/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opening a trace runs xdg-open, a program rather than a library, so
# dpkg-shlibdeps cannot see it; without it only opening is lost.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)

# Checks of what is installed, with the suite.
set(packaging_test ${SITELORE_PACKAGING_SOURCE}/packaging_test.sh)
if(TARGET sitelore)
  add_test(NAME packaging.install_tree
    COMMAND ${packaging_test} install-tree ${CMAKE_BINARY_DIR}
            ${SITELORE_PACKAGING_SOURCE}/installed-files.txt)
endif()
add_test(NAME packaging.manual_page_options
  COMMAND ${packaging_test} manual-page-options $<TARGET_FILE:sitelore-report>
          ${SITELORE_PACKAGING_SOURCE}/sitelore-report.1.in)
add_test(NAME packaging.versions
  COMMAND ${packaging_test} versions ${PROJECT_VERSION}
          ${SITELORE_PACKAGING_SOURCE}/${SITELORE_APP_ID}.metainfo.xml
          ${SITELORE_PACKAGING_SOURCE}/changelog)
find_program(MAN_EXECUTABLE man)
if(MAN_EXECUTABLE)
  add_test(NAME packaging.manual_page_warnings
    COMMAND ${packaging_test} manual-page-warnings ${SITELORE_PACKAGING_BUILD}/sitelore-report.1
            $<$<TARGET_EXISTS:sitelore>:${SITELORE_PACKAGING_BUILD}/sitelore.1>)
endif()
find_program(DESKTOP_FILE_VALIDATE_EXECUTABLE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE_EXECUTABLE)
  add_test(NAME packaging.desktop_entry
    COMMAND ${DESKTOP_FILE_VALIDATE_EXECUTABLE}
            ${SITELORE_PACKAGING_SOURCE}/${SITELORE_APP_ID}.desktop)
endif()
find_program(APPSTREAMCLI_EXECUTABLE appstreamcli)
if(APPSTREAMCLI_EXECUTABLE)
  add_test(NAME packaging.metainfo
    COMMAND ${APPSTREAMCLI_EXECUTABLE} validate --no-net
            ${SITELORE_PACKAGING_SOURCE}/${SITELORE_APP_ID}.metainfo.xml)
endif()
