# Shared by the scripts: caches and sources, the build, what the tests run
# in; with packages.sh (what is installed) and roots.sh (the Debian roots).
. "$(dirname "${BASH_SOURCE[0]}")/packages.sh"
. "$(dirname "${BASH_SOURCE[0]}")/roots.sh"
# Ctrl+C and SIGTERM end a script through its EXIT trap, which bash runs
# only on an exit of its own.
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs a command in a desktop session of its own, as the suite's cases run
# (tests/session): a private virtual X server and session bus, a runtime
# folder and GSettings in memory, never the user's; they, and whatever the
# command leaves running, go with it, however it ends.
in_own_session() {
  local base status=0
  base=$(mktemp -d)
  tests/session start "$base" || { rm -rf "$base"; return 1; }
  ZAN_TEST_SESSION=$base tests/in-session "$@" || status=$?
  tests/session stop "$base"
  rm -rf "$base"
  return "$status"
}

# Runs a step with its output held back: where it fails, that output (a
# build's errors, which Ninja writes to stdout), then one line saying which
# step it was.
quietly() {
  local out status=0
  out=$("$@" 2>&1) || status=$?
  [ "$status" = 0 ] || printf '%s\n%s\n' "$out" "$0: failed (status $status): $*" >&2
  return "$status"
}

# Says why a check cannot run here and stops: a skip on a developer's
# machine, a failure in CI, where every check must run.
cannot_run() {
  if [ "${CI:-}" = true ]; then
    echo "$0: failed: $* (CI must run it)" >&2
    exit 1
  fi
  echo "$0: skipped: $*"
  exit 0
}

# The caches kept from run to run (ZAN_CACHE: in CI /var/cache/zan-demo,
# else ~/.cache/zan-demo): the sources in deps/ (ZAN_DEPS), Closure Compiler
# in closure/, npm's downloads in npm/; the Debian roots apart (roots.sh).
if [ "${CI:-}" = true ]; then
  zan_cache=${ZAN_CACHE:-/var/cache/zan-demo}
else
  zan_cache=${ZAN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zan-demo}
fi
# ZAN_DEPS made absolute (POSIX has no realpath -m).
zan_deps=${ZAN_DEPS:-$zan_cache/deps}
[ "${zan_deps#/}" != "$zan_deps" ] || zan_deps=$PWD/$zan_deps
export ZAN_DEPS=$zan_deps
# Stops, before anything is installed, unless the sources of SDL and libtcod
# are in ZAN_DEPS and sound: fetched where there is a network (unless
# ZAN_OFFLINE=1), else named, in one line each, with where to put them.
# cmake/sources.cmake pins and checks them, for the build too.
# Checked once a run: the scripts it starts know it from ZAN_SOURCES_CHECKED.
need_sources() {
  [ "${ZAN_SOURCES_CHECKED:-}" != "$zan_deps" ] || return 0
  command -v cmake >/dev/null || install_missing cmake
  local problems
  problems=$(cmake -DZAN_DEPS="$zan_deps" -P cmake/sources.cmake 2>&1)
  [ -n "$problems" ] || { export ZAN_SOURCES_CHECKED=$zan_deps; return 0; }
  sed "s|^|$0: |" <<<"$problems" >&2
  return 1
}
# What the packages say of time is the commit's, so that one commit makes
# the same files wherever and whenever it is built.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
[ -z "$SOURCE_DATE_EPOCH" ] || export SOURCE_DATE_EPOCH
# A job for each processor, unless the user set how many.
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)}
export CMAKE_BUILD_PARALLEL_LEVEL

# The scripts build in build-scripts/, and in the presets' folders (build/,
# build-sanitize/, build-lint/, build-windows/, build-web/,
# build-web-floor/), configured only where they are not yet; no other
# folder is deleted or reconfigured.
# Builds are of the presets' configurations, for multi-config generators too.

# Whether the folder given has a build system (build.ninja for Ninja's
# generators, Makefile for Make's), which CMake writes only once a configure
# goes through: a failed one leaves its cache there, and nothing to build.
configured() { [ -f "$1/build.ninja" ] || [ -f "$1/Makefile" ]; }

# Configures the folder given, with any further CMake arguments; one
# configured earlier with another generator keeps it.
configure() {
  local made
  made=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$1/CMakeCache.txt" 2>/dev/null || true)
  [ -z "$made" ] || [ "$made" = "${CMAKE_GENERATOR:-}" ] ||
    echo "$0: $1 was configured for $made, not ${CMAKE_GENERATOR:-the default generator}: building there with $made" >&2
  ${made:+env CMAKE_GENERATOR="$made"} cmake -S . -B "$@"
}

# Configures the scripts' folder given as the default preset, with any
# further CMake arguments, and builds it.
build_into() {
  configure "$1" --preset default "${@:2}" >/dev/null
  cmake --build "$1" --config RelWithDebInfo
}

# Builds the targets given in the default preset's build/, configured first
# where it is not yet.
build_default() {
  { configured build || configure build --preset default; } &&
    cmake --build --preset default --target "$@"
}
