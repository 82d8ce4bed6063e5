# Windows: the program's icon, version and manifest; the DLLs beside it; and
# what users download, one folder with the program, its DLLs, the tileset and
# the licence notices, as a zip and as an installer. Included from the top
# CMakeLists.txt after the tileset's rules.

# The resources go through CMake's RC language, which mingw-w64's windres and
# MSVC's rc both take: the icon at the sizes Windows shows, from lists and the
# taskbar up to large tiles, packed into one .ico of 32-bit bitmaps, the
# form every Windows reads, by icoutils' icotool; the version; and the
# manifest.
enable_language(RC)
zan_icons(zan_icon_pngs 16 24 32 48 64 256)
find_program(ICOTOOL icotool REQUIRED)
set(zan_ico ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.ico)
add_custom_command(
  OUTPUT ${zan_ico}
  COMMAND ${ICOTOOL} --create --bit-depth=32 --output=${zan_ico} ${zan_icon_pngs}
  DEPENDS ${zan_icon_pngs}
  COMMENT "Making the icon zan-demo.ico"
  VERBATIM)
configure_file(packaging/windows/zan-demo.manifest.in ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.manifest
               @ONLY)
configure_file(packaging/windows/zan-demo.rc.in ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/zan-demo.rc PROPERTIES
  OBJECT_DEPENDS "${zan_ico};${CMAKE_CURRENT_BINARY_DIR}/zan-demo.manifest")
target_sources(zan-demo PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/zan-demo.rc)
# The .ico is made, in this target, from the PNGs that the icons target makes.
add_dependencies(zan-demo icons)
# MSVC's linker would embed a manifest of its own beside ours.
target_link_options(zan-demo PRIVATE $<$<CXX_COMPILER_ID:MSVC>:/MANIFEST:NO>)

# Windows finds DLLs beside the program, so they are copied there: the
# libraries', and with mingw-w64 the compiler's runtime and zlib (libtcod's).
set(zan_mingw_dlls)
if(MINGW)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
      list(APPEND zan_mingw_dlls ${path})
    endif()
  endforeach()
endif()
add_custom_command(TARGET zan-demo POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_RUNTIME_DLLS:zan-demo> ${zan_mingw_dlls}
          $<TARGET_FILE_DIR:zan-demo>
  COMMAND_EXPAND_LISTS VERBATIM)

install(TARGETS zan-demo RUNTIME DESTINATION .)
install(FILES $<TARGET_RUNTIME_DLLS:zan-demo> ${zan_mingw_dlls} ${CMAKE_CURRENT_BINARY_DIR}/terminal.png
        DESTINATION .)
include(${CMAKE_CURRENT_LIST_DIR}/licences.cmake)
# With Debian's mingw-w64, the DLLs copied beside the program are its.
set(zan_mingw_notices)
if(zan_mingw_dlls)
  set(zan_mingw_notices
    "zlib (zlib1.dll), as Debian's libz-mingw-w64 ships it" /usr/share/doc/libz-mingw-w64/copyright
    "mingw-w64's winpthreads (libwinpthread-1.dll), as Debian's mingw-w64-common ships it"
    /usr/share/doc/mingw-w64-common/copyright
    "GCC's runtime (libstdc++-6.dll, libgcc_s_seh-1.dll), under the GCC Runtime Library Exception, as Debian's gcc-mingw-w64-base ships it"
    /usr/share/doc/gcc-mingw-w64-base/copyright)
endif()
zan_notices("zan-demo ships these libraries beside zan-demo.exe. Each one's licence follows."
  "libtcod.dll" "inside libtcod.dll" "SDL3.dll" ${zan_mingw_notices})
if(CMAKE_STRIP)
  install(CODE "
    file(GLOB dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \${dlls} COMMAND_ERROR_IS_FATAL ANY)")
endif()

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY zan-demo)
# One key for every version, so that a newer installer finds the older one.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY zan-demo)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME zan-demo)
set(CPACK_NSIS_PACKAGE_NAME zan-demo)
set(CPACK_NSIS_MUI_ICON ${zan_ico})
set(CPACK_NSIS_MUI_UNIICON ${zan_ico})
set(CPACK_NSIS_INSTALLED_ICON_NAME zan-demo.exe)
# What the installer adds to CPack's template (packaging/windows/zan-demo.nsh):
# the Start-menu entry, earlier installations uninstalled, and the size
# that Add/Remove Programs shows.
set(CPACK_NSIS_CREATE_ICONS_EXTRA "!insertmacro ZanCreateShortcut")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "!insertmacro ZanDeleteShortcut")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro ZanUninstallOlder")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro ZanEstimatedSize")
# Debian's makensis builds a 32-bit installer unless told otherwise, and
# that one installs nothing on a 64-bit-only Windows (or Wine). It keeps no
# file's time, which is the build's: one commit makes the same installer.
set(CPACK_NSIS_DEFINES
    "Target amd64-unicode\nSetDateSave off\n!include FileFunc.nsh\n!include '${CMAKE_CURRENT_SOURCE_DIR}/packaging/windows/zan-demo.nsh'")
include(CPack)
