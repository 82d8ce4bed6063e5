# The lint preset's checks: clang-tidy, with the checks in .clang-tidy, on
# every source of the program as this platform builds it (the targets made
# until CMakeLists.txt unsets CMAKE_CXX_CLANG_TIDY), while it builds (any
# finding is an error there); Windows' sources the same way, in a Windows
# build of the program's library of this folder's own; and as cases of ctest,
# clang-format's style (.clang-format) over every C++ source, and the Debian
# changelog's latest entry against the version project() gives.
find_program(CLANG_TIDY clang-tidy REQUIRED)
# C++17, which g++ 12 compiles by default and clang 14 does not.
set(CMAKE_CXX_CLANG_TIDY ${CLANG_TIDY} --quiet --extra-arg=-std=c++17)
# clang-tidy reads the include folders from the command, not from the response
# file that Makefiles for mingw-w64 and emscripten put them in; without them it
# would check against this machine's /usr/include.
set(CMAKE_CXX_USE_RESPONSE_FILE_FOR_INCLUDES OFF)
set(CMAKE_C_USE_RESPONSE_FILE_FOR_INCLUDES OFF)
if(WIN32)
  # clang finds mingw-w64's C headers, not its C++ library's, whose folder
  # (12-posix) it takes for no version: the compiler names them.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -xc++ -E -v - INPUT_FILE /dev/null
                  OUTPUT_QUIET ERROR_VARIABLE search)
  string(REGEX MATCHALL "[^ \n]*/include/c\\+\\+[^ \n]*" headers "${search}")
  list(TRANSFORM headers PREPEND --extra-arg=-isystem)
  list(APPEND CMAKE_CXX_CLANG_TIDY --extra-arg=--target=x86_64-w64-mingw32 ${headers})
  return()
elseif(EMSCRIPTEN)
  # emcc gives clang its target and headers itself.
  set(CMAKE_CXX_CLANG_TIDY ${CLANG_TIDY} --quiet --extra-arg=--target=wasm32-unknown-emscripten
                           --extra-arg=--sysroot=${EMSCRIPTEN_SYSROOT})
  set(CMAKE_C_CLANG_TIDY ${CMAKE_CXX_CLANG_TIDY})
  return()
endif()
find_program(CLANG_FORMAT clang-format REQUIRED)
find_program(DPKG_PARSECHANGELOG dpkg-parsechangelog REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/sources.cmake)  # ZAN_DEPS, where the Windows build's sources are
include(ExternalProject)
ExternalProject_Add(lint-windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/windows
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
             -DCMAKE_BUILD_TYPE=Release -DZAN_LINT=ON -DZAN_DEPS=${ZAN_DEPS}
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --config Release --target zan_platform
  BUILD_ALWAYS TRUE
  INSTALL_COMMAND ""
  LOG_CONFIGURE TRUE LOG_OUTPUT_ON_FAILURE TRUE)
enable_testing()
file(GLOB sources CONFIGURE_DEPENDS src/*.cpp src/*.hpp tests/*.cpp tests/*.hpp
  tests/access/*.cpp bench/*.cpp tools/*.cpp)
add_test(NAME Lint.Formatted COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources})
add_test(NAME Lint.TheChangelogHasTheProjectsVersion
  COMMAND ${DPKG_PARSECHANGELOG} -l ${PROJECT_SOURCE_DIR}/packaging/changelog -S Version)
string(REPLACE "." "\\." version ${PROJECT_VERSION})
set_tests_properties(Lint.TheChangelogHasTheProjectsVersion PROPERTIES
  PASS_REGULAR_EXPRESSION "^${version}\n$")
