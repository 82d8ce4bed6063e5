# Shared by the scripts in this folder: package installation and the build.

# Everything the demo needs to build and run: the compiler, CMake, libtcod,
# FreeType and the X bitmap font the tileset is made from, and for the library's
# fallback when the demo runs without it, fontconfig (libtcod runs fc-match)
# and a monospace TrueType font; and ATK's bridge to AT-SPI2, for screen readers.
build_packages=(g++ cmake ninja-build pkg-config libfreetype-dev xfonts-base fontconfig fonts-dejavu-core
  libatk-bridge2.0-dev)
# Debian's libtcod, unless CMAKE_PREFIX_PATH points CMake at one installed
# with CMake, whose SDL is then the user's to install.
if [ -z "${CMAKE_PREFIX_PATH:-}" ]; then
  build_packages+=(libtcod-dev libsdl2-dev)
fi
# What the tests add: GoogleTest, Xlib with XTest, a virtual X server, what
# the Wayland back end types with (libwayland and xkbcommon, in C),
# dbus-run-session, and the screen reader players have: Orca, with the
# accessibility bus and speech-dispatcher (tests/access/with-orca, which
# also needs pgrep).
test_packages=(libgtest-dev libx11-dev libxtst-dev xvfb xauth gcc libwayland-dev libxkbcommon-dev
  dbus-daemon at-spi2-core orca speech-dispatcher procps)
# The Windows build: mingw-w64's compiler and zlib (libtcod's), icoutils to
# pack the icon, and NSIS for the installer; its tests add Wine and unzip.
windows_build_packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev icoutils nsis)
# What scripts/test-windows adds to read the program's resources back, and
# to find console windows.
windows_test_packages=(binutils-mingw-w64-x86-64 x11-utils)
windows_packages=("${windows_build_packages[@]}" "${windows_test_packages[@]}" wine64 unzip)
# The Wayland cases: a headless sway, grim for pixels, jq to read sway's tree.
wayland_packages=(sway grim jq)
# What the tests and the benchmark start runs on a session bus of its own,
# gone with it: without one, SDL and the browsers would start one for the
# display through dbus-x11, as every desktop has it, which leaves it running
# and its address in HOME. What the bus starts (the accessibility bus) keeps
# its socket in a runtime folder of the bus's own, and its settings in
# memory rather than in dconf's files in HOME.
# The runtime folder goes however the command ends, Ctrl+C too.
on_own_bus() (
  runtime=$(mktemp -d)
  trap 'rm -rf "$runtime"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  XDG_RUNTIME_DIR=$runtime GSETTINGS_BACKEND=memory dbus-run-session -- "$@"
)
# A private virtual X server, large enough for the demo's window, on its bus.
# It listens on its socket in /tmp alone, not in Linux's abstract namespace,
# which every root on the machine shares: xvfb-run picks a free display by
# the lock files in /tmp, so a run in a root (scripts/soak --new-machine)
# would otherwise take the display of a run beside it.
xvfb=(on_own_bus xvfb-run -a -s "-nolisten local -screen 0 1920x1080x24")

# apt-get as root (through sudo otherwise), without questions, waiting for
# the lock that another apt (unattended upgrades on a new machine) may hold.
apt_get() {
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "$0: apt-get $*: run it as root, or install sudo" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  # Through env, since sudo drops the variable.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}

# apt-get update, which does not wait for the lists' lock, as apt-daily's
# update holds it: tried again for up to 10 minutes while that is the cause.
apt_get_update() {
  local error
  local tries=0
  until error=$(apt_get update -qq 2>&1 >/dev/null); do
    if ! grep -q "Could not get lock" <<<"$error" || [ $((tries += 1)) -gt 300 ]; then
      echo "$error" >&2
      return 1
    fi
    sleep 2
  done
}

# What each package gives, to look for where there is no apt (or with
# --no-install, ZAN_NO_INSTALL=1): a command, a pkg-config module, or a
# file under /usr or /usr/local.
probes=(g++:command:c++ gcc:command:cc cmake:command:cmake ninja-build:command:ninja
  pkg-config:command:pkg-config libfreetype-dev:module:freetype2 xfonts-base:file:8x13.pcf.gz
  fontconfig:command:fc-match fonts-dejavu-core:file:DejaVuSansMono.ttf
  libatk-bridge2.0-dev:module:atk-bridge-2.0 libtcod-dev:module:libtcod libsdl2-dev:module:sdl2
  libgtest-dev:module:gtest libx11-dev:module:x11 libxtst-dev:module:xtst xvfb:command:xvfb-run
  xauth:command:xauth libwayland-dev:module:wayland-client libxkbcommon-dev:module:xkbcommon
  dbus-daemon:command:dbus-run-session at-spi2-core:file:at-spi-bus-launcher orca:command:orca
  speech-dispatcher:command:speech-dispatcher procps:command:pgrep)

# Names, in one line, each package given whose contents are not found here,
# and fails if there is any.
check_present() {
  local missing=() package entry kind name
  for package in "$@"; do
    entry=$(printf '%s\n' "${probes[@]}" | grep "^$package:") || {
      missing+=("$package (Debian's; no check for it elsewhere)")
      continue
    }
    IFS=: read -r _ kind name <<<"$entry"
    case $kind in
      command) command -v "$name" >/dev/null && continue ;;
      module) pkg-config --exists "$name" 2>/dev/null && continue ;;
      file) [ -n "$(find /usr /usr/local -name "$name" -print -quit 2>/dev/null)" ] && continue ;;
    esac
    missing+=("$package ($kind $name)")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local list
  list=$(printf ', %s' "${missing[@]}")
  echo "$0: missing, to install with your system's packages: ${list#, }" >&2
  return 1
}

# Installs the Debian packages given that are not installed yet; without
# apt, or with ZAN_NO_INSTALL=1, only checks that what they give is here.
install_missing() {
  if [ "${ZAN_NO_INSTALL:-}" = 1 ] || ! command -v apt-get >/dev/null; then
    check_present "$@"
    return
  fi
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}" >&2
  apt_get_update
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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

# A path made absolute, whether it exists or not (POSIX has no realpath -m).
absolute() {
  case $1 in
    /*) echo "$1" ;;
    *) echo "$PWD/$1" ;;
  esac
}
# The caches kept from run to run (ZAN_CACHE), in CI /var/cache/zan-demo,
# else the user's own ~/.cache/zan-demo: the sources of SDL 3.4.14 and
# libtcod 2.2.2 in deps/ (ZAN_DEPS, which every build is given), Closure
# Compiler in closure/ and npm's downloads in npm/. The Debian roots are
# kept apart (ZAN_ROOTS, below), since making them needs root.
if [ "${CI:-}" = true ]; then
  zan_cache=${ZAN_CACHE:-/var/cache/zan-demo}
else
  zan_cache=${ZAN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zan-demo}
fi
zan_deps=$(absolute "${ZAN_DEPS:-$zan_cache/deps}")
export ZAN_DEPS=$zan_deps
# Stops, before anything is installed, unless the sources of SDL and libtcod
# are in ZAN_DEPS and sound: fetched where there is a network (unless
# ZAN_OFFLINE=1), else named, in one line each, with where to put them.
# cmake/sources.cmake pins and checks them, for the build too.
need_sources() {
  command -v cmake >/dev/null || install_missing cmake
  local problems
  problems=$(cmake -DZAN_DEPS="$zan_deps" -P cmake/sources.cmake 2>&1)
  [ -z "$problems" ] && return 0
  sed "s|^|$0: |" <<<"$problems" >&2
  return 1
}
# The licence notices of what a download ships, for THIRD-PARTY-NOTICES.txt:
# each as its library has it, under a heading that names the library and
# where it is in the download.
notice() {
  printf '\n\n==== %s\n\n' "$1"
  cat
}
# libtcod 2.2.2, what it vendors, and SDL 3.4.14, from ZAN_DEPS; the arguments
# say where libtcod, what it vendors, and SDL are.
library_notices() {
  tcod_file() { tar -xzOf "$zan_deps/libtcod-2.2.2.tar.gz" "libtcod-2.2.2/$1"; }
  tcod_file LICENSE.txt | notice "libtcod 2.2.2 ($1)"
  # The vendored libraries keep their licences in their headers' comments.
  tcod_file src/vendor/utf8proc/utf8proc.h | sed -n '2,/^ \*\//{s/^ \*\/\?//;s/^ //;p}' |
    notice "utf8proc, $2"
  tcod_file src/vendor/lodepng.h | sed -n '/^Copyright/,/^\*\//p' | sed '/^\*\//,$d' |
    notice "LodePNG, $2"
  tcod_file src/vendor/stb_truetype.h | sed -n '/^This software is available under 2 licenses/,$p' |
    sed '/^\*\//,$d' | notice "stb_truetype and stb_ds, $2"
  tar -xzOf "$zan_deps/SDL3-3.4.14.tar.gz" SDL3-3.4.14/LICENSE.txt | notice "SDL 3.4.14 ($3)"
}

# What the page's cases and benchmark run in: Debian's Chromium and Firefox
# ESR, node, and puppeteer-core as tests/web/package-lock.json pins it; and
# Orca, with a virtual X server and xdotool to type as a player does.
web_test_tools() {
  install_missing chromium firefox-esr dbus-daemon at-spi2-core orca speech-dispatcher procps xvfb \
    xauth xdotool
  command -v npm >/dev/null || install_missing nodejs npm
  (cd tests/web && npm_config_cache=$zan_cache/npm npm ci --no-audit --no-fund --silent)
}

# Wine from Debian's wine64 package, which puts no wine64 in /usr/bin.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

# Builds use the user's CMAKE_GENERATOR, else Ninja (in the roots, Ninja).
# CMake takes it from the environment for any folder it configures first.
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
# A job for each processor, unless the user set how many.
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)}
export CMAKE_BUILD_PARALLEL_LEVEL

# Configures the folder given for this project, with any further CMake
# arguments. A folder configured earlier with another generator keeps it:
# it may be the user's own, and is never deleted.
configure() {
  local dir=$1 made
  shift
  made=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
  if [ -n "$made" ] && [ "$made" != "$CMAKE_GENERATOR" ]; then
    echo "$0: $dir was configured for $made, not $CMAKE_GENERATOR: building there with $made" >&2
    CMAKE_GENERATOR=$made cmake -S . -B "$dir" "$@"
  else
    cmake -S . -B "$dir" "$@"
  fi
}

# Configures and builds into the folder given (default build/), with any
# further CMake arguments.
build_into() {
  local dir=${1:-build}
  shift || true
  configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir"
}

# Debian roots made with mmdebstrap and kept under /var/cache/zan-demo/roots
# (ZAN_ROOTS) for the next run: other releases' libraries for the tests, and
# Debian 13's emscripten for the web build. Making and entering them needs
# root.
roots=${ZAN_ROOTS:-/var/cache/zan-demo/roots}

# Makes the root NAME of Debian SUITE with the packages given (a comma-
# separated list), unless one made in the last week is there from an earlier run.
make_root() {
  local name=$1 suite=$2 include=$3
  # The run holds the root's lock until it ends, so that a root another run
  # uses is never made again under it.
  mkdir -p "$roots"
  exec {lock}>"$roots/$name.lock"
  flock "$lock"
  # The stamp names what the root was made of: a root made for another list
  # of packages is made again.
  if [ -f "$roots/$name.made" ] && [ -z "$(find "$roots/$name.made" -mtime +6)" ] &&
    [ "$(cat "$roots/$name.made")" = "$suite $include" ]; then
    return 0
  fi
  rm -rf --one-file-system "$roots/$name" "$roots/$name.made"
  echo "Making the $suite root $roots/$name" >&2
  rm -rf "$roots/$name.new"
  # The mirror's Release file for sid may be past its Valid-Until date.
  mmdebstrap --quiet --variant=apt --aptopt='Acquire::Check-Valid-Until "false"' \
    --include="$include" "$suite" "$roots/$name.new" >&2
  mv "$roots/$name.new" "$roots/$name"
  echo "$suite $include" >"$roots/$name.made"
}

# Runs a shell command in the root NAME (or at the path given), with the
# system's file systems mounted and an environment of its own, as CI has: no
# display, no terminal. The mounts are made in a mount namespace of this
# call's own, and its processes run in a PID namespace of their own, so both
# go with its last process, however it ends: nothing is left mounted or
# running, and nothing reaches the host's own mounts. The root is bound onto
# itself, so that a run inside can make its own mounts private in turn (CI
# in scripts/soak's new machine). ZAN_RUN, which marks what a CI run
# started, and NODE_EXTRA_CA_CERTS go in. A mount that fails stops the call.
in_root() {
  local root=$1
  [ "${root#/}" != "$root" ] || root=$roots/$root
  unshare --mount --pid --fork --propagation private bash -c '
    mount --bind "$1" "$1" && mount -t proc proc "$1/proc" || exit 1
    for fs in sys dev; do mount --rbind "/$fs" "$1/$fs" || exit 1; done
    exec chroot "$1" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
      LANG=C.UTF-8 CMAKE_GENERATOR=Ninja ${ZAN_RUN:+ZAN_RUN="$ZAN_RUN"} \
      ${NODE_EXTRA_CA_CERTS:+NODE_EXTRA_CA_CERTS="$NODE_EXTRA_CA_CERTS"} bash -c "$2"' - "$root" "${*:2}"
}

# Copies the work tree, as git sees it, into the folder given; a tree that is
# no git work tree (a copy of one) without what its builds made.
copy_tree() {
  rm -rf "$1"
  mkdir -p "$1"
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard | tar --null -T - -c | tar -x -C "$1"
  else
    tar -c --exclude='./build*' --exclude=./tests/web/node_modules . | tar -x -C "$1"
  fi
}
