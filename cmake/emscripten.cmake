# The page's toolchain, which the web preset names: emscripten's own CMake
# toolchain file, found beside emcc (Debian's emscripten package, or emsdk's,
# through EMSDK or the PATH), so that no emcmake is needed.
find_program(ZAN_EMCC emcc HINTS $ENV{EMSDK}/upstream/emscripten)
if(NOT ZAN_EMCC)
  message(FATAL_ERROR "emcc is missing: the page is built with emscripten 3.1.69 or later "
                      "(emscripten on Debian 13, or emsdk with EMSDK set)")
endif()
# Older releases cannot build SDL 3.4 (Debian 12's 3.1.6 among them).
execute_process(COMMAND ${ZAN_EMCC} --version OUTPUT_VARIABLE version ERROR_QUIET)
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" ZAN_EMSCRIPTEN_VERSION "${version}")
if(NOT ZAN_EMSCRIPTEN_VERSION OR ZAN_EMSCRIPTEN_VERSION VERSION_LESS 3.1.69)
  message(FATAL_ERROR " emscripten ${ZAN_EMSCRIPTEN_VERSION} (${ZAN_EMCC}) is older than 3.1.69, the oldest that "
                      "builds the page's SDL 3.4: install Debian 13's emscripten, or emsdk")
endif()
file(REAL_PATH ${ZAN_EMCC} emcc)
get_filename_component(emscripten ${emcc} DIRECTORY)
include(${emscripten}/cmake/Modules/Platform/Emscripten.cmake)
