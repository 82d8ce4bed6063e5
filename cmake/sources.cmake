# The sources of SDL 3.4.14 and libtcod 2.2.2 that the Windows build, the
# page and any machine without an installed libtcod build from: each archive
# is looked for in ZAN_DEPS, fetched there from upstream where it is not,
# and checked. Upstream's hashes are as Homebrew's sdl3 and libtcod formulae
# pin them (docs/installing.md). The archives kept for offline builds are
# repacks, library only, with hashes of their own; either will do, so the
# check is made here rather than by one URL_HASH.
#
# Included, it sets ZAN_DEPS and defines zan_source(). Run as a script
# (cmake -DZAN_DEPS=DIR -P cmake/sources.cmake), it fetches and checks every
# archive and prints one line for each that is missing or corrupt, nothing
# when all are sound: the scripts check this before they install anything.
if(NOT DEFINED ZAN_DEPS)
  # The scripts' cache folder by default, never a folder beside the clone.
  if(DEFINED ENV{ZAN_DEPS})
    set(ZAN_DEPS "$ENV{ZAN_DEPS}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(ZAN_DEPS "$ENV{XDG_CACHE_HOME}/zan-demo/deps")
  else()
    set(ZAN_DEPS "$ENV{HOME}/.cache/zan-demo/deps")
  endif()
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(ZAN_DEPS "${ZAN_DEPS}" CACHE PATH "Where the archives of SDL and libtcod are kept")
  endif()
endif()

# name | archive | upstream URL | upstream SHA-256 | the repack's SHA-256
set(zan_sources
  "SDL3|SDL3-3.4.14.tar.gz|https://github.com/libsdl-org/SDL/releases/download/release-3.4.14/SDL3-3.4.14.tar.gz|30d4aa2b3037718142b32dffd4e72f917ebb6cc5227150e7bb9c45efb2153aeb|8b5b11af8c45f74a042471310232623731b300b69df5735ceb3d959f5783cbd0"
  "libtcod|libtcod-2.2.2.tar.gz|https://github.com/libtcod/libtcod/archive/refs/tags/2.2.2.tar.gz|69f30fe65df1c84049a8f4f4b1ea0894191221da3a671be61832e33e75df898e|74b05847899cb94eefaba21663b636087ec677647ab6a0048f5121f1a7f52225")

# Sets `path` and `hash` to the archive of the source NAME, checked, and
# `problem` to one line when it is missing or corrupt. Fetched unless
# ZAN_OFFLINE is set (in the environment too).
function(zan_source name)
  foreach(entry ${zan_sources})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 entry_name)
    if(entry_name STREQUAL name)
      list(GET fields 1 file)
      list(GET fields 2 url)
      list(GET fields 3 upstream)
      list(GET fields 4 repack)
    endif()
  endforeach()
  set(archive "${ZAN_DEPS}/${file}")
  if(NOT EXISTS "${archive}" AND NOT ZAN_OFFLINE AND NOT "$ENV{ZAN_OFFLINE}" STREQUAL "1")
    file(DOWNLOAD "${url}" "${archive}.part" STATUS status INACTIVITY_TIMEOUT 30)
    list(GET status 0 code)
    if(code EQUAL 0)
      file(RENAME "${archive}.part" "${archive}")
    else()
      file(REMOVE "${archive}.part")
    endif()
  endif()
  set(problem "")
  if(NOT EXISTS "${archive}")
    set(problem "${file} is missing: put ${url} (SHA-256 ${upstream}) in ${ZAN_DEPS}, or set ZAN_DEPS to its folder")
  else()
    file(SHA256 "${archive}" found)
    if(NOT found STREQUAL upstream AND NOT found STREQUAL repack)
      set(problem "${archive} has SHA-256 ${found}, not upstream's ${upstream} nor the repack's ${repack}")
    endif()
  endif()
  set(path "${archive}" PARENT_SCOPE)
  set(hash "${found}" PARENT_SCOPE)
  set(problem "${problem}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(name SDL3 libtcod)
    zan_source(${name})
    if(problem)
      message(NOTICE "${problem}")
    endif()
  endforeach()
endif()
