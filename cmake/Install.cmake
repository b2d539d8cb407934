# What `cmake --install` puts where, and the Debian package CPack makes of it.
# The data files (desktop entry, MIME type, icon, man pages, completion) live in dist/.
include(GNUInstallDirs)

set(pagewend_dist ${PROJECT_SOURCE_DIR}/dist)

# Debian wants man pages compressed; without gzip they go in as they are.
find_program(PAGEWEND_GZIP gzip)
function(pagewend_install_man page)
  set(source ${pagewend_dist}/${page})
  if(PAGEWEND_GZIP)
    set(packed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
    # -n leaves the name and time out of the header, so the same page gives the same bytes.
    add_custom_command(
      OUTPUT ${packed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
      COMMAND ${PAGEWEND_GZIP} -9 -n -c ${source} > ${packed}
      DEPENDS ${source}
      VERBATIM)
    string(MAKE_C_IDENTIFIER "man_${page}" target)
    add_custom_target(${target} ALL DEPENDS ${packed})
    install(FILES ${packed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()

install(TARGETS pagewend RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
pagewend_install_man(pagewend.1)
install(FILES ${pagewend_dist}/pagewend.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pagewend)
# Debian's place for the licence is the package's doc folder, under the name "copyright".
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

if(TARGET pagewend-player)
  install(TARGETS pagewend-player RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  pagewend_install_man(pagewend-player.1)
  install(FILES ${pagewend_dist}/pagewend-player.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${pagewend_dist}/pagewend.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${pagewend_dist}/pagewend.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # Ruffle is built into the player, so its licences travel with it. A missing one fails the
  # install rather than shipping a player without them.
  set(ruffle_package ${PROJECT_SOURCE_DIR}/node_modules/@ruffle-rs/ruffle)
  if(NOT EXISTS ${ruffle_package}/LICENSE_MIT)
    message(WARNING "Ruffle's licences are missing (run npm ci in ${PROJECT_SOURCE_DIR}): installing will fail")
  endif()
  install(FILES ${ruffle_package}/LICENSE_MIT ${ruffle_package}/LICENSE_APACHE
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/ruffle)
endif()

# The Debian package: `cpack -G DEB` in a build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pagewend)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The pagewend authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player and tool for packaged page-turning books")
# Debian shows the description as written: short lines, an empty line between paragraphs.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A published page-turning book is one executable: the player with a book\n"
    "package appended. pagewend-player plays such a book, or a bare package, in a\n"
    "window: it unpacks the book into a per-run working folder, makes the page\n"
    "thumbnails and images, and plays the book's start movie in Ruffle, the Flash\n"
    "Player emulator built into it.\n"
    "\n"
    "pagewend, the command-line tool, reads the same packages without a display:\n"
    "it shows what a book holds, unpacks it into a folder, and packs a folder\n"
    "back into a package or a runnable book.\n")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(PAGEWEND_MAINTAINER "The pagewend authors <maintainers@pagewend.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PAGEWEND_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries come from dpkg-shlibdeps and are added to the list below. The image-format
# plugins are loaded by Qt at run time, so dpkg-shlibdeps cannot see them; xdg-open opens the
# links a book's movie follows. PoDoFo, the PDF export's writer, is named as well, so that a
# package made where dpkg-shlibdeps is missing still asks for it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, libpodofo0.9.8")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
