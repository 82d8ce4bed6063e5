# The lint preset's checks: clang-tidy, with the checks in .clang-tidy, on
# every source of the program as this platform builds it (the targets made
# until CMakeLists.txt unsets CMAKE_CXX_CLANG_TIDY), while it builds (any
# finding is an error there); and as cases of ctest, clang-format's style (.clang-format)
# over every C++ source, and the Debian changelog's latest entry against the
# version project() gives.
find_program(CLANG_TIDY clang-tidy REQUIRED)
find_program(CLANG_FORMAT clang-format REQUIRED)
find_program(DPKG_PARSECHANGELOG dpkg-parsechangelog REQUIRED)
set(CMAKE_CXX_CLANG_TIDY ${CLANG_TIDY} --quiet)
enable_testing()
file(GLOB sources CONFIGURE_DEPENDS src/*.cpp src/*.hpp tests/*.cpp tests/*.hpp
  tests/access/*.cpp bench/*.cpp tools/*.cpp)
add_test(NAME Lint.Formatted COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources})
add_test(NAME Lint.TheChangelogHasTheProjectsVersion
  COMMAND ${DPKG_PARSECHANGELOG} -l ${PROJECT_SOURCE_DIR}/packaging/changelog -S Version)
string(REPLACE "." "\\." version ${PROJECT_VERSION})
set_tests_properties(Lint.TheChangelogHasTheProjectsVersion PROPERTIES
  PASS_REGULAR_EXPRESSION "^${version}\n$")
