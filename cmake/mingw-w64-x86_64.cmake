# Cross-builds for Windows x86-64 with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# Libraries, headers and CMake packages come only from the mingw-w64 root and
# from CMAKE_PREFIX_PATH (where SDL 3 and libtcod were installed for Windows);
# programs run at build time come from the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
# The POSIX-threads compilers, which libtcod and the demo need. Debian and
# Ubuntu name them -posix, and their plain names lead to the win32-threads
# ones whenever those are installed too; elsewhere (Fedora, Arch, MSYS2) the
# plain names are the POSIX-threads ones.
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-posix ${triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ld would base each DLL at an address hashed from the path it links to,
# which differs between generators (a multi-config one links into Release/),
# and so would the zip and the installer. One base for all, as MSVC's linker
# gives them: Windows moves a DLL that finds its base taken when it loads it.
# No time in the program's and the DLLs' headers either, so that they are the
# same whenever they are linked; MSVC's /Brepro does the same.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--disable-auto-image-base -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT -Wl,--no-insert-timestamp)
