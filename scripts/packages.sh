# What the scripts install, and how: Debian's packages through apt, or
# where there is none, a check that what they give is here. Sourced by common.sh.

# Everything the demo needs to build and run: the compiler, CMake, libtcod,
# FreeType and the X bitmap font the tileset is made from, and for the library's
# fallback when the demo runs without it, fontconfig (libtcod runs fc-match)
# and a monospace TrueType font; and ATK's bridge to AT-SPI2, for screen readers.
build_packages=(g++ cmake ninja-build pkg-config libfreetype-dev xfonts-base fontconfig fonts-dejavu-core
  libatk-bridge2.0-dev)
# Debian's libtcod, unless CMAKE_PREFIX_PATH points CMake at one installed
# with CMake, whose SDL is then the user's to install, or the project is to
# build libtcod 2 from its sources (ZAN_LIBTCOD_FROM_SOURCES=1).
if [ -z "${CMAKE_PREFIX_PATH:-}" ] && [ "${ZAN_LIBTCOD_FROM_SOURCES:-}" != 1 ]; then
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

# What the page's cases and benchmark run in: Debian's Chromium and Firefox
# ESR, node, and puppeteer-core as tests/web/package-lock.json pins it; and
# Orca, with a virtual X server and xdotool to type as a player does.
web_test_tools() {
  install_missing chromium firefox-esr dbus-daemon at-spi2-core orca speech-dispatcher procps xvfb \
    xauth xdotool
  command -v npm >/dev/null || install_missing nodejs npm
  (cd tests/web && npm_config_cache=$zan_cache/npm npm ci --no-audit --no-fund --silent)
}
