# The licence, and the notices of the libraries a download bundles, at the
# top of the Windows and web downloads: libtcod's and SDL's licences require
# them in what is handed on. THIRD-PARTY-NOTICES.txt is made here from the
# sources' archives (cmake/sources.cmake) and the files given, unless
# ZAN_NOTICES names one of the user's own.
include(${CMAKE_CURRENT_LIST_DIR}/sources.cmake)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
set(ZAN_NOTICES "" CACHE FILEPATH "The licence notices of the libraries the download bundles")

# The lines of the text from the first that begins with FIRST up to, not
# including, the first after it that begins with LAST; into `lines`.
function(zan_lines text first last)
  string(FIND "${text}" "\n${first}" start)
  math(EXPR start "${start} + 1")
  string(SUBSTRING "${text}" ${start} -1 text)
  string(FIND "${text}" "\n${last}" end)
  string(SUBSTRING "${text}" 0 ${end} text)
  set(lines "${text}\n" PARENT_SCOPE)
endfunction()

# Writes the notices: INTRO, then libtcod 2.2.2's, what it vendors' and
# SDL 3.4.14's, each under a heading that names it and where it is in the
# download (TCOD, VENDORED, SDL), then each further pair of a heading and a
# file given.
function(zan_notices intro tcod vendored sdl)
  set(out ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
  if(ZAN_NOTICES)
    set(out ${ZAN_NOTICES})
  else()
    set(dir ${CMAKE_BINARY_DIR}/notices)
    zan_source(libtcod)
    file(ARCHIVE_EXTRACT INPUT ${path} DESTINATION ${dir} PATTERNS libtcod-2.2.2/LICENSE.txt
         libtcod-2.2.2/src/vendor/utf8proc/utf8proc.h libtcod-2.2.2/src/vendor/lodepng.h
         libtcod-2.2.2/src/vendor/stb_truetype.h)
    zan_source(SDL3)
    file(ARCHIVE_EXTRACT INPUT ${path} DESTINATION ${dir} PATTERNS SDL3-3.4.14/LICENSE.txt)
    set(tcod_dir ${dir}/libtcod-2.2.2)
    # The vendored libraries keep their licences in their headers' comments:
    # utf8proc's is the first, its lines starting with " * ".
    file(READ ${tcod_dir}/src/vendor/utf8proc/utf8proc.h text)
    zan_lines("${text}" " *" " */")
    string(REGEX REPLACE "\n \\*/? ?" "\n" utf8proc "\n${lines}\n")
    string(SUBSTRING "${utf8proc}" 1 -1 utf8proc)
    file(READ ${tcod_dir}/src/vendor/lodepng.h text)
    zan_lines("${text}" "Copyright" "*/")
    set(lodepng "${lines}")
    file(READ ${tcod_dir}/src/vendor/stb_truetype.h text)
    zan_lines("${text}" "This software is available under 2 licenses" "*/")
    set(stb "${lines}")
    file(READ ${tcod_dir}/LICENSE.txt tcod_licence)
    file(READ ${dir}/SDL3-3.4.14/LICENSE.txt sdl_licence)
    set(text "${intro}\n")
    foreach(section "libtcod 2.2.2 (${tcod})|tcod_licence" "utf8proc, ${vendored}|utf8proc"
                    "LodePNG, ${vendored}|lodepng" "stb_truetype and stb_ds, ${vendored}|stb"
                    "SDL 3.4.14 (${sdl})|sdl_licence")
      string(REPLACE "|" ";" section "${section}")
      list(GET section 0 heading)
      list(GET section 1 name)
      string(APPEND text "\n\n==== ${heading}\n\n${${name}}")
    endforeach()
    while(ARGN)
      list(POP_FRONT ARGN heading file)
      file(READ ${file} content)
      string(APPEND text "\n\n==== ${heading}\n\n${content}")
    endwhile()
    file(WRITE ${out} "${text}")
  endif()
  install(FILES ${out} DESTINATION . RENAME THIRD-PARTY-NOTICES.txt)
endfunction()
