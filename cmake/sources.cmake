# The sources of SDL 3.4.14 and libtcod 2.2.2 that the Windows build, the
# page and any machine without an installed libtcod build from: each archive
# is looked for in ZAN_DEPS, fetched there from upstream (or from the mirror
# ZAN_SOURCES_MIRROR names) where it is not, and checked. Upstream's hashes
# are as Homebrew's sdl3 and libtcod formulae pin them (docs/installing.md).
# The archives kept for offline builds are repacks, library only, with
# hashes of their own; either will do, so the check is made here rather than
# by one URL_HASH.
#
# Included, it sets ZAN_DEPS and defines zan_source(). Run as a script
# (cmake -DZAN_DEPS=DIR -P cmake/sources.cmake), it fetches and checks every
# archive and prints one line for each that is missing or corrupt, nothing
# when all are sound: the scripts check this before they install anything.
if(NOT DEFINED ZAN_DEPS)
  # The user's cache folder by default, never a folder beside the clone.
  if(DEFINED ENV{ZAN_DEPS})
    set(ZAN_DEPS "$ENV{ZAN_DEPS}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(ZAN_DEPS "$ENV{XDG_CACHE_HOME}/zan-demo/deps")
  elseif(CMAKE_HOST_WIN32 AND DEFINED ENV{LOCALAPPDATA})
    file(TO_CMAKE_PATH "$ENV{LOCALAPPDATA}/zan-demo/deps" ZAN_DEPS)
  elseif(CMAKE_HOST_APPLE)
    set(ZAN_DEPS "$ENV{HOME}/Library/Caches/zan-demo/deps")
  else()
    set(ZAN_DEPS "$ENV{HOME}/.cache/zan-demo/deps")
  endif()
endif()
# A relative folder is taken from where CMake was started.
if(DEFINED ENV{PWD})
  get_filename_component(ZAN_DEPS "${ZAN_DEPS}" ABSOLUTE BASE_DIR "$ENV{PWD}")
else()
  get_filename_component(ZAN_DEPS "${ZAN_DEPS}" ABSOLUTE)
endif()
if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(ZAN_DEPS "${ZAN_DEPS}" CACHE PATH "Where the archives of SDL and libtcod are kept" FORCE)
endif()
if(NOT DEFINED ZAN_SOURCES_MIRROR AND DEFINED ENV{ZAN_SOURCES_MIRROR})
  set(ZAN_SOURCES_MIRROR "$ENV{ZAN_SOURCES_MIRROR}")
endif()

# name | archive | upstream URL | upstream SHA-256 | the repack's SHA-256
foreach(entry
    "SDL3|SDL3-3.4.14.tar.gz|https://github.com/libsdl-org/SDL/releases/download/release-3.4.14/SDL3-3.4.14.tar.gz|30d4aa2b3037718142b32dffd4e72f917ebb6cc5227150e7bb9c45efb2153aeb|8b5b11af8c45f74a042471310232623731b300b69df5735ceb3d959f5783cbd0"
    "libtcod|libtcod-2.2.2.tar.gz|https://github.com/libtcod/libtcod/archive/refs/tags/2.2.2.tar.gz|69f30fe65df1c84049a8f4f4b1ea0894191221da3a671be61832e33e75df898e|74b05847899cb94eefaba21663b636087ec677647ab6a0048f5121f1a7f52225")
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 zan_source_${name}_file)
  list(GET fields 2 zan_source_${name}_url)
  list(GET fields 3 zan_source_${name}_upstream)
  list(GET fields 4 zan_source_${name}_repack)
  list(APPEND zan_source_names ${name})
endforeach()

# Whether the file at `path` is the archive NAME, upstream's or the repack;
# sets `found` to its hash.
function(zan_source_sound name path)
  file(SHA256 "${path}" hash)
  set(found "${hash}" PARENT_SCOPE)
  if(hash STREQUAL zan_source_${name}_upstream OR hash STREQUAL zan_source_${name}_repack)
    set(sound TRUE PARENT_SCOPE)
  else()
    set(sound FALSE PARENT_SCOPE)
  endif()
endfunction()

# Sets `path` and `hash` to the archive of the source NAME, checked, and
# `problem` to one line when it is missing or corrupt. Fetched unless
# ZAN_OFFLINE is set (in the environment too): into a file of its own, which
# takes the archive's name only once it is checked, under a lock that
# configures sharing ZAN_DEPS take in turn.
function(zan_source name)
  set(file "${zan_source_${name}_file}")
  set(url "${zan_source_${name}_url}")
  if(ZAN_SOURCES_MIRROR)
    set(url "${ZAN_SOURCES_MIRROR}/${file}")
  endif()
  set(upstream "${zan_source_${name}_upstream}")
  set(archive "${ZAN_DEPS}/${file}")
  set(problem "")
  set(found "")
  if(NOT EXISTS "${archive}" AND NOT ZAN_OFFLINE AND NOT "$ENV{ZAN_OFFLINE}" STREQUAL "1")
    file(MAKE_DIRECTORY "${ZAN_DEPS}")
    file(LOCK "${archive}.lock" GUARD FUNCTION TIMEOUT 900 RESULT_VARIABLE locked)
    if(NOT EXISTS "${archive}" AND locked EQUAL 0)
      file(DOWNLOAD "${url}" "${archive}.part" STATUS status INACTIVITY_TIMEOUT 30 TIMEOUT 600)
      list(GET status 0 code)
      list(GET status 1 message)
      if(NOT code EQUAL 0)
        set(problem "${file} could not be fetched from ${url}: ${message} (${code}); put it (SHA-256 ${upstream}) in ${ZAN_DEPS}, or set ZAN_SOURCES_MIRROR to an address that has it (https://… or file:///…)")
      else()
        zan_source_sound(${name} "${archive}.part")
        if(sound)
          file(RENAME "${archive}.part" "${archive}")
        else()
          file(SIZE "${archive}.part" size)
          file(STRINGS "${archive}.part" start LIMIT_COUNT 1 LENGTH_MAXIMUM 60)
          set(problem "${url} gave ${size} bytes with SHA-256 ${found} (beginning \"${start}\"), not ${file} (SHA-256 ${upstream}); nothing was kept: put the archive in ${ZAN_DEPS}, or set ZAN_SOURCES_MIRROR to an address that has it (https://… or file:///…)")
        endif()
      endif()
      file(REMOVE "${archive}.part")
    endif()
  endif()
  if(NOT problem AND NOT EXISTS "${archive}")
    set(problem "${file} is missing: put ${url} (SHA-256 ${upstream}) in ${ZAN_DEPS}, or set ZAN_DEPS to its folder")
  elseif(NOT problem)
    zan_source_sound(${name} "${archive}")
    if(NOT sound)
      set(problem "${archive} has SHA-256 ${found}, not upstream's ${upstream} nor the repack's ${zan_source_${name}_repack}: delete it, and it is fetched again")
    endif()
  endif()
  set(path "${archive}" PARENT_SCOPE)
  set(hash "${found}" PARENT_SCOPE)
  set(problem "${problem}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(name ${zan_source_names})
    zan_source(${name})
    if(problem)
      message(NOTICE "${problem}")
    endif()
  endforeach()
endif()
