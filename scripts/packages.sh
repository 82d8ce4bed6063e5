# What the scripts install, and how: Debian's packages through apt, or
# where there is none, a check that what they give is here. Sourced by common.sh.

# --no-install (ZAN_NO_INSTALL=1): only say what is missing; so too where
# there is no apt-get.
[ "${1:-}" != --no-install ] || export ZAN_NO_INSTALL=1
command -v apt-get >/dev/null || export ZAN_NO_INSTALL=1
# The generator the scripts build with: the user's CMAKE_GENERATOR, else
# Ninja where it is installed or may be installed, else CMake's own.
if [ -z "${CMAKE_GENERATOR:-}" ] && { command -v ninja >/dev/null || [ "${ZAN_NO_INSTALL:-}" != 1 ]; }; then
  export CMAKE_GENERATOR=Ninja
fi
# What the demo needs to build and run: the compiler, CMake (and Ninja for
# Ninja), libtcod, FreeType and the X font the tileset is made from; and,
# optional, fontconfig and a TrueType font for the library's fallback, and
# ATK's bridge to AT-SPI2 for screen readers.
build_packages=(g++ cmake pkg-config libfreetype-dev xfonts-base fontconfig fonts-dejavu-core
  libatk-bridge2.0-dev)
case ${CMAKE_GENERATOR:-} in
  Ninja*) build_packages+=(ninja-build) ;;
esac
# What SDL 3 is built on from its sources (the Linux download's, or under
# a libtcod built so where no SDL 3 is installed): X11's headers, which it
# needs; Wayland's, libdecor's, EGL's and D-Bus's, which it goes without.
sdl_packages=(libx11-dev libxext-dev libxrandr-dev libxcursor-dev libxi-dev libxfixes-dev libxss-dev libxtst-dev
  libwayland-dev libxkbcommon-dev libdecor-0-dev libegl-dev libdbus-1-dev)
# Debian's libtcod, unless CMAKE_PREFIX_PATH points CMake at one installed
# with CMake, whose SDL is then the user's to install, or the project is to
# build libtcod 2 from its sources (ZAN_LIBTCOD_FROM_SOURCES=1).
if [ -z "${CMAKE_PREFIX_PATH:-}" ] && [ "${ZAN_LIBTCOD_FROM_SOURCES:-}" != 1 ]; then
  build_packages+=(libtcod-dev libsdl2-dev)
elif [ "${ZAN_LIBTCOD_FROM_SOURCES:-}" = 1 ]; then
  build_packages+=(zlib1g-dev)
  pkg-config --exists sdl3 2>/dev/null || build_packages+=("${sdl_packages[@]}")
fi
# What the tests add: GoogleTest, Xlib with XTest, a virtual X server, the
# Wayland back end's libwayland and xkbcommon (in C) with a headless sway,
# grim for pixels and jq to read sway's tree, dbus-run-session, and Orca
# with the accessibility bus and speech-dispatcher (and pgrep).
test_packages=(libgtest-dev libx11-dev libxtst-dev xvfb xauth gcc libwayland-dev libxkbcommon-dev
  sway grim jq dbus-daemon at-spi2-core orca speech-dispatcher procps)
# The Windows build: mingw-w64's compiler and zlib, icoutils for the icon,
# NSIS for the installer; its tests add Wine, unzip, and tools to read the
# program's resources and find console windows.
windows_packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev icoutils nsis binutils-mingw-w64-x86-64
  x11-utils wine64 unzip)

# apt-get as root (through sudo otherwise), without questions, waiting for
# the lock that another apt (unattended upgrades on a new machine) may hold.
apt_get() {
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "$0: apt-get $*: run it as root, or install sudo" >&2; return 1; }
    sudo=(sudo)
  fi
  # Through env, since sudo drops the variable.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}

# apt-get update, tried again for up to 10 minutes while another holds the
# lists' lock (apt-daily's), which it does not wait for.
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
# --no-install, ZAN_NO_INSTALL=1): a command, a pkg-config module, a font
# fontconfig knows, or a file. A package may have several: each place where
# systems keep its file (Debian's, Fedora's, Arch's, /usr/local, Homebrew),
# the one found first counts.
probes=(g++:command:c++ gcc:command:cc cmake:command:cmake ninja-build:command:ninja
  pkg-config:command:pkg-config libfreetype-dev:module:freetype2 zlib1g-dev:module:zlib
  xfonts-base:file:/usr/share/fonts/X11/misc/8x13.pcf.gz xfonts-base:file:/usr/share/X11/fonts/misc/8x13.pcf.gz
  xfonts-base:file:/usr/share/fonts/misc/8x13.pcf.gz xfonts-base:file:/usr/local/share/fonts/misc/8x13.pcf.gz
  xfonts-base:file:/opt/homebrew/share/fonts/misc/8x13.pcf.gz
  fontconfig:command:fc-match fonts-dejavu-core:font:DejaVuSansMono.ttf
  libatk-bridge2.0-dev:module:atk-bridge-2.0 libtcod-dev:module:libtcod libsdl2-dev:module:sdl2
  libgtest-dev:module:gtest libx11-dev:module:x11 libxtst-dev:module:xtst xvfb:command:Xvfb
  libxext-dev:module:xext libxrandr-dev:module:xrandr libxcursor-dev:module:xcursor libxi-dev:module:xi
  libxfixes-dev:module:xfixes libxss-dev:module:xscrnsaver libdecor-0-dev:module:libdecor-0 libegl-dev:module:egl
  libdbus-1-dev:module:dbus-1 xauth:command:xauth libwayland-dev:module:wayland-client libxkbcommon-dev:module:xkbcommon
  sway:command:sway grim:command:grim jq:command:jq dbus-daemon:command:dbus-run-session orca:command:orca
  at-spi2-core:file:/usr/libexec/at-spi-bus-launcher at-spi2-core:file:/usr/lib/at-spi2-core/at-spi-bus-launcher
  at-spi2-core:file:/usr/lib/at-spi-bus-launcher at-spi2-core:file:/usr/local/libexec/at-spi-bus-launcher
  speech-dispatcher:command:speech-dispatcher procps:command:pgrep nodejs:command:node npm:command:npm)
# What the build does without, named apart and never stopping it.
# Without Orca's parts, the screen reader's cases skip; without sway's,
# the Wayland cases.
optional_packages=(fontconfig fonts-dejavu-core libatk-bridge2.0-dev libwayland-dev libxkbcommon-dev
  libdecor-0-dev libegl-dev libdbus-1-dev sway grim jq orca at-spi2-core speech-dispatcher)

# Whether what the package given gives is here (2: no probe for it);
# `what` names what was looked for.
present() {
  local kind name status=2
  # A font of the user's choice stands for X11's.
  if [ "$1" = xfonts-base ] && [ -n "${ZAN_FONT:-}" ]; then
    what="file $ZAN_FONT"
    [ -e "$ZAN_FONT" ]
    return
  fi
  while IFS=: read -r _ kind name; do
    status=1
    what="$kind ${name##*/}"
    case $kind in
      command) command -v "$name" >/dev/null ;;
      module) pkg-config --exists "$name" 2>/dev/null ;;
      font) fc-list : file 2>/dev/null | grep -q "/$name" ;;
      file) [ -e "$name" ] ;;
    esac && return 0
  done < <(printf '%s\n' "${probes[@]}" | grep "^$1:")
  return "$status"
}

# Names, in one line, each package given whose contents are not found here,
# the optional ones apart, and fails if a required one is missing. libtcod
# and SDL are not required: without libtcod CMake builds it from its pinned
# sources, which need zlib, and SDL 3 too where none is installed.
check_present() {
  local missing=() optional=() package status
  if [[ " $* " == *" libtcod-dev "* ]] && ! present libtcod-dev; then
    set -- "${@/libtcod-dev/zlib1g-dev}"
    pkg-config --exists sdl3 2>/dev/null || set -- "$@" "${sdl_packages[@]}"
  fi
  for package in "$@"; do
    # SDL 2 is Debian's libtcod's.
    [ "$package" != libsdl2-dev ] || present libtcod-dev || continue
    status=0
    present "$package" || status=$?
    case $status in
      0) continue ;;
      2) missing+=("$package (Debian's; no check for it elsewhere)") ;;
      *) if [[ " ${optional_packages[*]} " == *" $package "* ]]; then optional+=("$package ($what)"); else missing+=("$package ($what)"); fi ;;
    esac
  done
  local line=
  [ ${#missing[@]} -eq 0 ] || line="missing, to install with your system's packages: $(printf '%s, ' "${missing[@]}")"
  [ ${#optional[@]} -eq 0 ] || line+="optional, not found (the build goes on without them): $(printf '%s, ' "${optional[@]}")"
  line=${line%, }
  [ -z "$line" ] || echo "$0: ${line//, optional/; optional}" >&2
  [ ${#missing[@]} -eq 0 ]
}

# Installs the Debian packages given that are not installed yet; without
# apt, or with ZAN_NO_INSTALL=1, only checks that what they give is here.
install_missing() {
  if [ "${ZAN_NO_INSTALL:-}" = 1 ]; then
    check_present "$@"
    return
  fi
  local missing=()
  local package
  # What is here otherwise (node and npm from NodeSource, say) is not
  # installed again: apt would find it conflicts.
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      present "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}" >&2
  apt_get_update
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What the page's cases and the benchmark run in: Debian's Chromium,
# Firefox ESR and WebKitGTK's WebDriver (with its MiniBrowser), node and npm;
# and Orca, with a virtual X server and xdotool to type as a player does.
web_packages=(nodejs npm chromium firefox-esr webkit2gtk-driver dbus-daemon at-spi2-core orca speech-dispatcher procps
  xvfb xauth xdotool)
# The benchmark's, with puppeteer-core as tests/web/package-lock.json pins it.
web_test_tools() {
  install_missing "${web_packages[@]}"
  (cd tests/web && npm_config_cache=$zan_cache/npm npm ci --no-audit --no-fund --silent)
}
