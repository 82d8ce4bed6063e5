# The web: the program as WebAssembly in a page, built with emscripten
# (cmake/emscripten.cmake) against SDL 3 and libtcod 2 built the same way,
# as static libraries. What users get is one static folder, index.html at its top, the
# program's .js and .wasm beside it with the tileset inside, and the licence
# notices; CPack zips it with index.html at the zip's root, as static hosts
# (itch.io among them) take it. Included from the top CMakeLists.txt after
# the tileset's rules.

set(zan_shell ${CMAKE_CURRENT_SOURCE_DIR}/packaging/web/index.html)
set(zan_page_tileset ${CMAKE_CURRENT_BINARY_DIR}/terminal.png)

# Makes the program TARGET a page, NAME.html beside NAME.js and NAME.wasm.
function(zan_page target name)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} SUFFIX .html)
  target_link_options(${target} PRIVATE
    # The loop stays the desktop's, blocking in its wait, and ASYNCIFY hands
    # the browser the thread there: measured (bench/README.md), that page is
    # lighter than the floor, its first frame as early, and it idles at 1 ms
    # in 5 s; SDL's main callbacks would need the loop written again.
    -sASYNCIFY
    # The run's exit() ends it, and the page hears of it (Module.onExit).
    -sEXIT_RUNTIME=1
    -sENVIRONMENT=web
    # Debian's emscripten has no HTML minifier; the page is small anyway.
    -sMINIFY_HTML=0
    # The heap grows as the libraries ask, rather than failing at 16 MB.
    -sALLOW_MEMORY_GROWTH=1
    --shell-file ${zan_shell})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${zan_shell})
  add_dependencies(${target} tileset)
  # In one folder in every configuration, where the packages and the
  # scripts look.
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY $<1:${PROJECT_BINARY_DIR}>)
endfunction()

zan_page(zan-demo index)
# libtcod has no fallback font here. The program carries the tileset
# (src/tileset_web.c), where its fopen gives it the library, and the page
# has no file system: emscripten's took 7.7 KB of the 19.4 KB gzipped
# script. SDL's handlers for files dropped on the window still make and
# remove a folder for them: packaging/web/no-files.js gives them nowhere.
enable_language(C)
target_sources(zan-demo PRIVATE src/tileset_web.c)
set_source_files_properties(src/tileset_web.c PROPERTIES COMPILE_OPTIONS -std=c23
  INCLUDE_DIRECTORIES ${CMAKE_CURRENT_BINARY_DIR} OBJECT_DEPENDS ${zan_page_tileset})
target_link_options(zan-demo PRIVATE -sFILESYSTEM=0
  --pre-js ${CMAKE_CURRENT_SOURCE_DIR}/packaging/web/no-files.js)
set_property(TARGET zan-demo APPEND PROPERTY LINK_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/packaging/web/no-files.js)
# Only the program's own wait suspends (src/platform_web.cpp), a JavaScript
# function that ASYNCIFY must be told of, and only main and the program's
# own functions can be on the stack then: ASYNCIFY instruments those alone.
# A function missing here fails at run time, when the wait suspends in it,
# so the page's cases walk the whole run.
target_link_options(zan-demo PRIVATE -sASYNCIFY_IMPORTS=zan_platform_next_dom_event
  "-sASYNCIFY_ONLY=main,zan_*")
# Built for size, where the benchmark shows no cost in speed (bench/README.md
# has what each option gave, kept or not): -Oz and link-time optimisation
# with the libraries, which this build makes as bitcode (the web preset's
# ZAN_LIBRARIES_FLAGS), the link itself
# at -O2 (at -Oz a key's frame took 2.9 ms rather than 2.1, for 2 KB less);
# Closure Compiler over the runtime's JavaScript (below);
# emscripten's small allocator, as the program allocates little; the
# runtime reading only the Module properties the page sets; and text
# decoded by the browser alone.
target_compile_options(zan_platform PRIVATE -Oz -flto)
target_compile_options(zan-demo PRIVATE -Oz -flto)
target_link_options(zan-demo PRIVATE -O2 -flto -sMALLOC=emmalloc -sTEXTDECODER=2
  -sINCOMING_MODULE_JS_API=canvas,print,printErr,onAbort,onExit)
# emsdk brings Closure Compiler; Debian's emscripten has none, so the
# version 3.1.69 pins comes from npm (for x86-64 and arm64) into closure/
# here, and the link is told of it. Without one, the page is built without.
option(ZAN_CLOSURE "Minify the page's JavaScript with Closure Compiler" ON)
if(ZAN_CLOSURE AND NOT EXISTS ${EMSCRIPTEN_ROOT_PATH}/node_modules/.bin/google-closure-compiler)
  set(closure ${CMAKE_BINARY_DIR}/closure)
  set(compiler_glob ${closure}/node_modules/google-closure-compiler-linux*/compiler)
  file(GLOB compiler ${compiler_glob})
  find_program(ZAN_NPM npm)
  # npm ci starts afresh, so an install cut short is made whole next time.
  if(compiler)
  elseif(NOT ZAN_NPM)
    set(why "no npm")
  elseif("$ENV{ZAN_OFFLINE}" STREQUAL 1)
    set(why "ZAN_OFFLINE=1, and npm would need the network")
  else()
    file(COPY packaging/web/closure/package.json packaging/web/closure/package-lock.json
         DESTINATION ${closure})
    execute_process(COMMAND ${ZAN_NPM} ci --no-audit --no-fund --loglevel=error
                    WORKING_DIRECTORY ${closure} RESULT_VARIABLE status OUTPUT_QUIET
                    ERROR_VARIABLE why ERROR_STRIP_TRAILING_WHITESPACE)
    file(GLOB compiler ${compiler_glob})
    if(status)
      set(why "npm ci failed: ${why}")
    elseif(NOT compiler)
      set(why "npm has none for ${CMAKE_HOST_SYSTEM_PROCESSOR}")
    endif()
  endif()
  if(compiler)
    set_property(TARGET zan-demo PROPERTY CXX_LINKER_LAUNCHER
                 ${CMAKE_COMMAND} -E env EM_CLOSURE_COMPILER=${compiler})
  else()
    message(STATUS "No Closure Compiler (${why}): the page's JavaScript is not minified")
    set(ZAN_CLOSURE OFF)
  endif()
endif()
if(ZAN_CLOSURE)
  target_link_options(zan-demo PRIVATE "SHELL:--closure 1")
endif()

# The benchmark's floor: libtcod's own key wait (SDL_WaitEvent), built the
# plain way a libtcod program is, with the same tileset.
if(ZAN_BENCH)
  add_executable(zan-floor bench/floor.cpp)
  target_link_libraries(zan-floor PRIVATE zan_options zan_libtcod)
  zan_page(zan-floor floor)
  # The tileset where a plain page has it: in the file system it starts in.
  target_link_options(zan-floor PRIVATE --embed-file ${zan_page_tileset}@/terminal.png)
  set_property(TARGET zan-floor APPEND PROPERTY LINK_DEPENDS ${zan_page_tileset})
endif()

# The page's icon, as on the desktop.
zan_icons(zan_icon 48)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/index.html ${CMAKE_CURRENT_BINARY_DIR}/index.js
              ${CMAKE_CURRENT_BINARY_DIR}/index.wasm DESTINATION .)
install(FILES ${zan_icon} DESTINATION . RENAME zan-demo.png)
include(${CMAKE_CURRENT_LIST_DIR}/licences.cmake)
set(runtime "emscripten ${ZAN_EMSCRIPTEN_VERSION}'s runtime and system libraries (linked into index.wasm and index.js), as")
if(EMSCRIPTEN_ROOT_PATH STREQUAL /usr/share/emscripten)
  set(runtime "${runtime} Debian's emscripten ships them" /usr/share/doc/emscripten/copyright)
else()
  set(runtime "${runtime} emscripten ships them" ${EMSCRIPTEN_ROOT_PATH}/LICENSE)
endif()
zan_notices("zan-demo's page links these libraries into index.wasm. Each one's licence follows."
  "linked into index.wasm" "linked into index.wasm" "linked into index.wasm and index.js" ${runtime})

set(CPACK_GENERATOR ZIP)
set(CPACK_SYSTEM_NAME web)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
