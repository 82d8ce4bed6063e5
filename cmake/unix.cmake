# Linux and the other Unix-like systems (the BSDs, macOS): the install tree
# Debian's games use, under any prefix, and the Debian package, which
# scripts/package builds with CPack. Included from the top CMakeLists.txt
# after the tileset's rules.

# Installed as Debian lays out games: the command users type in games/, a
# launcher that enters the data directory under share/games/ and runs the
# program from lib/games/. The launcher finds both relative to itself, so
# the tree can be installed under any prefix.
set(ZAN_INSTALL_GAMESDIR games CACHE STRING "Where the zan-demo command goes")
set(ZAN_INSTALL_PROGRAMDIR lib/games/zan-demo CACHE STRING "Where the program goes")
set(ZAN_INSTALL_DATADIR ${CMAKE_INSTALL_DATAROOTDIR}/games/zan-demo
    CACHE STRING "Where the tileset goes")
file(RELATIVE_PATH ZAN_PROGRAM_FROM_LAUNCHER /${ZAN_INSTALL_GAMESDIR}
     /${ZAN_INSTALL_PROGRAMDIR}/zan-demo)
file(RELATIVE_PATH ZAN_DATA_FROM_LAUNCHER /${ZAN_INSTALL_GAMESDIR} /${ZAN_INSTALL_DATADIR})
configure_file(tools/launcher.sh.in ${CMAKE_CURRENT_BINARY_DIR}/launcher/zan-demo @ONLY)

# The menu entry, its icon at the size menus use, and the manual page,
# compressed as Debian wants: gzip -9n, no name or time.
zan_icons(zan_icon 48)
find_program(GZIP gzip REQUIRED)
# The manual page takes its version from project() above, as CPack does.
configure_file(docs/zan-demo.6.in ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.6 @ONLY)
set(zan_compressed)
foreach(doc ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.6 ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
    COMMAND sh -c "\"$0\" -9n -c \"$1\" >\"$2\"" ${GZIP} ${doc} ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
    DEPENDS ${doc}
    VERBATIM)
  list(APPEND zan_compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(release-files ALL DEPENDS ${zan_compressed})

install(TARGETS zan-demo RUNTIME DESTINATION ${ZAN_INSTALL_PROGRAMDIR})
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/launcher/zan-demo DESTINATION ${ZAN_INSTALL_GAMESDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/terminal.png DESTINATION ${ZAN_INSTALL_DATADIR})
# The menu entry runs the launcher, which enters the data folder itself, so
# it needs no Path= and stays right under any install prefix.
install(FILES packaging/zan-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${zan_icon} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/48x48/apps
        RENAME zan-demo.png)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zan-demo)

# scripts/package builds the Debian package with CPack from here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "The zan-demo developers <zan-demo@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack indents the lines after the first itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "character-cell console window driven by key presses
zan-demo opens an 80 x 50-cell console window drawn by libtcod in an
8 x 13 bitmap font and shows one line of key hints. Every key press
draws the next hint; q quits, r and w turn the text red and white, and
b turns the background blue.")
include(CPack)
