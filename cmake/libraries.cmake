# libtcod, and the SDL it runs on, which the program calls too: zan_libtcod.
# The first of these that is there is used:
# - libtcod installed with CMake (libtcod 2 is; point CMAKE_PREFIX_PATH at
#   its prefix), with its SDL. The libtcodConfig.cmake of libtcod 2.2.2
#   stops CMake with a fatal error (it checks a relative include path), and
#   Homebrew and vcpkg install it from the same template, so the sound
#   libtcodTargets.cmake beside it is read instead;
# - libtcod through pkg-config, as Debian's packages provide it, in a native
#   build (pkg-config would find the build machine's in a cross build);
# - libtcod 2.2.2 built from its sources with the project, on an installed
#   SDL 3 where there is one, else on SDL 3.4.14 built from its sources too
#   (cmake/sources.cmake fetches and checks them). The Windows build and the
#   page always take this way.
# Included from the top CMakeLists.txt.
add_library(zan_libtcod INTERFACE)
# The Linux download (ZAN_LINUX_ARCHIVE) takes the last way whatever is
# installed, with zlib linked in too.
if(NOT ZAN_LINUX_ARCHIVE)
  find_path(ZAN_LIBTCOD_CMAKE_DIR libtcodTargets.cmake
            PATH_SUFFIXES share/libtcod lib/cmake/libtcod lib/${CMAKE_LIBRARY_ARCHITECTURE}/cmake/libtcod)
endif()
if(NOT ZAN_LIBTCOD_CMAKE_DIR AND NOT CMAKE_CROSSCOMPILING AND NOT ZAN_LINUX_ARCHIVE)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(LIBTCOD QUIET IMPORTED_TARGET libtcod)
  endif()
endif()

if(ZAN_LIBTCOD_CMAKE_DIR)
  include(${ZAN_LIBTCOD_CMAKE_DIR}/libtcodConfigVersion.cmake)
  set(ZAN_LIBTCOD_VERSION ${PACKAGE_VERSION})
  # libtcod 2 runs on SDL 3, earlier releases on SDL 2.
  if(ZAN_LIBTCOD_VERSION VERSION_GREATER_EQUAL 2)
    find_package(SDL3 REQUIRED CONFIG)
    set(zan_sdl SDL3::SDL3)
  else()
    find_package(SDL2 REQUIRED CONFIG)
    set(zan_sdl SDL2::SDL2)
  endif()
  include(${ZAN_LIBTCOD_CMAKE_DIR}/libtcodTargets.cmake)
  target_link_libraries(zan_libtcod INTERFACE libtcod::libtcod ${zan_sdl})
elseif(LIBTCOD_FOUND)
  # libtcod lists SDL2 only privately.
  pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
  set(ZAN_LIBTCOD_VERSION ${LIBTCOD_VERSION})
  target_link_libraries(zan_libtcod INTERFACE PkgConfig::LIBTCOD PkgConfig::SDL2)
else()
  if(CMAKE_VERSION VERSION_LESS 3.25)
    message(FATAL_ERROR "libtcod not found, and building it from its sources needs CMake 3.25 or "
                        "later: install libtcod (libtcod-dev on Debian), or a newer CMake")
  endif()
  # SDL and libtcod are C: the top folder enables it for them.
  enable_language(C)
  include(${CMAKE_CURRENT_LIST_DIR}/sources.cmake)
  include(FetchContent)
  # In a function, so that the libraries' settings below reach their
  # folders alone.
  function(zan_libraries_from_sources)
    # An installed SDL 3 is used as it is, without its archive.
    if(NOT ZAN_LINUX_ARCHIVE)
      find_package(SDL3 3.2 CONFIG QUIET)
    endif()
    set(names libtcod)
    if(NOT SDL3_FOUND)
      list(PREPEND names SDL3)
    endif()
    # Every missing or corrupt source is named, one line each.
    set(problems "")
    foreach(name ${names})
      zan_source(${name})
      if(problem)
        string(APPEND problems " ${problem}\n")
      endif()
      # Declared before libtcod declares its own SDL (from git), so ours is used.
      FetchContent_Declare(${name} URL "${path}" URL_HASH SHA256=${hash}
                           DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
    endforeach()
    if(problems)
      # The leading spaces keep CMake from wrapping the lines.
      message(FATAL_ERROR "${problems}")
    endif()
    # Only the libraries, none of their tests, examples or install rules; and
    # libtcod with what it vendors rather than fetching it, and zlib as
    # installed, found here first so that a missing one is said plainly.
    foreach(option SDL_TESTS SDL_TEST_LIBRARY SDL_EXAMPLES SDL_INSTALL LIBTCOD_INSTALL)
      set(${option} OFF CACHE BOOL "")
    endforeach()
    foreach(vendored LIBTCOD_LODEPNG LIBTCOD_UTF8PROC LIBTCOD_STB)
      set(${vendored} vendored CACHE STRING "")
    endforeach()
    set(LIBTCOD_ZLIB ON CACHE BOOL "")
    if(LIBTCOD_ZLIB)
      set(ZLIB_USE_STATIC_LIBS ${ZAN_LINUX_ARCHIVE})
      find_package(ZLIB REQUIRED)
    endif()
    # Windows programs ship their libraries as DLLs beside them; elsewhere
    # they are linked in.
    if(WIN32)
      set(BUILD_SHARED_LIBS ON)
      set(SDL_SHARED ON CACHE BOOL "")
      set(SDL_STATIC OFF CACHE BOOL "")
    else()
      set(BUILD_SHARED_LIBS OFF)
      set(SDL_SHARED OFF CACHE BOOL "")
      set(SDL_STATIC ON CACHE BOOL "")
    endif()
    # Their own code, not this project's: their warnings are theirs.
    string(APPEND CMAKE_C_FLAGS " -w")
    string(APPEND CMAKE_CXX_FLAGS " -w")
    # The page's libraries are built for size (the web preset).
    # In every configuration of a multi-config generator too.
    set(ZAN_LIBRARIES_FLAGS "" CACHE STRING "Flags for SDL's and libtcod's sources in place of the build type's")
    if(ZAN_LIBRARIES_FLAGS)
      foreach(type ${CMAKE_CONFIGURATION_TYPES} ${CMAKE_BUILD_TYPE})
        string(TOUPPER ${type} type)
        set(CMAKE_C_FLAGS_${type} "${ZAN_LIBRARIES_FLAGS} -DNDEBUG")
        set(CMAKE_CXX_FLAGS_${type} "${ZAN_LIBRARIES_FLAGS} -DNDEBUG")
      endforeach()
      if(NOT CMAKE_CONFIGURATION_TYPES AND NOT CMAKE_BUILD_TYPE)
        string(APPEND CMAKE_C_FLAGS " ${ZAN_LIBRARIES_FLAGS}")
        string(APPEND CMAKE_CXX_FLAGS " ${ZAN_LIBRARIES_FLAGS}")
      endif()
    endif()
    FetchContent_MakeAvailable(${names})
    # The program is warned of its own code, not of their headers.
    foreach(target libtcod SDL3_Headers)
      if(TARGET ${target})
        set_target_properties(${target} PROPERTIES SYSTEM TRUE)
      endif()
    endforeach()
  endfunction()
  zan_libraries_from_sources()
  set(ZAN_LIBTCOD_VERSION "2.2.2 (from its sources)")
  target_link_libraries(zan_libtcod INTERFACE libtcod::libtcod SDL3::SDL3)
endif()
