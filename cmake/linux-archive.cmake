# The Linux download for every distribution: one folder with the program,
# its tileset, the licence and the notices of what is linked in, as
# zan-demo-VERSION-linux-x86_64.tar.gz. libtcod and SDL are built from their
# sources and linked in (cmake/libraries.cmake), and so are zlib, libstdc++
# and libgcc: of the system the program needs glibc and, for screen
# readers, ATK's bridge, which every desktop with one has. SDL loads X11,
# Wayland, libdecor and D-Bus as it runs, where they are. The command
# zan-demo at the top is the launcher Debian's package has: it enters its
# folder, where libtcod finds the tileset, and runs lib/zan-demo. Included
# from the top CMakeLists.txt after the tileset's rules.
# Unused sections go: so does the one place that calls arc4random (glibc
# 2.36), std::random_device, which libstdc++'s old-ABI strings bring in.
target_link_options(zan-demo PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
# What the program calls of GLib is in Ubuntu 22.04's, as the compiler checks.
target_compile_definitions(zan_platform PRIVATE GLIB_VERSION_MIN_REQUIRED=GLIB_VERSION_2_72
                                                GLIB_VERSION_MAX_ALLOWED=GLIB_VERSION_2_72)
set(ZAN_INSTALL_GAMESDIR .)
set(ZAN_INSTALL_DATADIR .)
set(ZAN_PROGRAM_FROM_LAUNCHER lib/zan-demo)
set(ZAN_DATA_FROM_LAUNCHER .)
configure_file(tools/launcher.sh.in ${CMAKE_CURRENT_BINARY_DIR}/launcher/zan-demo @ONLY)
install(TARGETS zan-demo RUNTIME DESTINATION lib)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/launcher/zan-demo DESTINATION .)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/terminal.png DESTINATION .)
include(${CMAKE_CURRENT_LIST_DIR}/licences.cmake)
zan_notices("zan-demo links these libraries into its program, lib/zan-demo. Each one's licence follows."
  "linked in" "linked in with libtcod" "linked in"
  "zlib, linked in with libtcod, as Debian's zlib1g ships it" /usr/share/doc/zlib1g/copyright
  "GCC's runtime (libstdc++, libgcc), linked in under the GCC Runtime Library Exception, as Debian's libstdc++6 ships it"
  /usr/share/doc/libstdc++6/copyright)

set(CPACK_GENERATOR TGZ)
set(ZAN_ARCHIVE_NAME zan-demo-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_FILE_NAME ${ZAN_ARCHIVE_NAME})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/archive-owner.cmake)
include(CPack)
