#!/usr/bin/env bash
# Without the sources of SDL and libtcod, or with one corrupted, each script
# that builds from them stops before installing anything, with one line for
# each source: where it comes from and its hash, or the hash it has.
set -u
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
# Runs the command as in a fresh clone with nothing beside it and no
# network; it must fail, with `count` lines that match `pattern`.
expect() {
  local what=$1 count=$2 pattern=$3 out
  shift 3
  if out=$(env -u ZAN_DEPS HOME="$work" ZAN_CACHE="$work/cache" ZAN_OFFLINE=1 "$@" 2>&1) ||
    [ "$(grep -c -- "$pattern" <<<"$out")" != "$count" ] || grep -q '^Installing' <<<"$out"; then
    echo "FAILED: $what: $out"
    failed=1
  fi
}
sdl='SDL3-3.4.14.tar.gz is missing: put https://github.com/libsdl-org/SDL/releases/download/release-3.4.14/SDL3-3.4.14.tar.gz'
tcod='libtcod-2.2.2.tar.gz is missing: put https://github.com/libtcod/libtcod/archive/refs/tags/2.2.2.tar.gz'
for script in test-web test-windows test-platforms "soak --new-machine"; do
  # shellcheck disable=SC2086
  expect "scripts/$script" 2 "\($sdl\|$tcod\) (SHA-256 [0-9a-f]\{64\}) in $work/cache/deps" scripts/$script
done
# The presets that build from the sources, configured in a folder of the
# test's own; where mingw-w64 is missing, configure stops before.
windows=(env XDG_CACHE_HOME="$work/cache" cmake --preset windows -B "$work/windows")
if command -v x86_64-w64-mingw32-g++-posix >/dev/null || command -v x86_64-w64-mingw32-g++ >/dev/null; then
  expect "cmake --preset windows" 2 "\($sdl\|$tcod\) (SHA-256 [0-9a-f]\{64\}) in $work/cache/zan-demo/deps" "${windows[@]}"
fi
mkdir -p "$work/cache/deps"
echo corrupted >"$work/cache/deps/libtcod-2.2.2.tar.gz"
expect "a corrupted archive" 1 "libtcod-2.2.2.tar.gz has SHA-256 [0-9a-f]\{64\}, not upstream's [0-9a-f]\{64\} nor" \
  scripts/test-windows
# A download, from a mirror on 127.0.0.1: a wrong body is one line naming
# what came, and is not kept; the right one is, and configures that share an
# empty ZAN_DEPS take it in turn.
mkdir -p "$work/mirror"
echo "<html>Proxy error</html>" >"$work/mirror/libtcod-2.2.2.tar.gz"
deps=${ZAN_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/zan-demo/deps}
if [ ! -f "$deps/SDL3-3.4.14.tar.gz" ] || [ ! -f "$deps/libtcod-2.2.2.tar.gz" ]; then
  echo "skipped: the downloads, as the archives to serve are not in $deps"
  [ "$failed" = 1 ] || [ "${CI:-}" = true ] || exit 77
  exit 1
fi
python3 -u -m http.server --bind 127.0.0.1 --directory "$work/mirror" 0 >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/server.log")
  [ -z "$port" ] || break
  sleep 0.05
done
fetch() { env -u ZAN_OFFLINE ZAN_SOURCES_MIRROR=http://127.0.0.1:$port cmake -DZAN_DEPS="$work/fetched" -P cmake/sources.cmake 2>&1; }
# One the mirror does not have (404) is named as failed, not as missing.
out=$(fetch)
if ! grep -q "libtcod-2.2.2.tar.gz gave 25 bytes with SHA-256 [0-9a-f]* (beginning \"<html>Proxy error</html>\"), not libtcod-2.2.2.tar.gz" <<<"$out" ||
  ! grep -q "SDL3-3.4.14.tar.gz could not be fetched from http://127.0.0.1:$port/SDL3-3.4.14.tar.gz: .*HTTP response code said error" <<<"$out" ||
  [ "$(wc -l <<<"$out")" != 2 ] || [ -e "$work/fetched/libtcod-2.2.2.tar.gz" ]; then
  echo "FAILED: a wrong or failed download: $out"
  failed=1
fi
rm -rf "$work/fetched"
cp "$deps/SDL3-3.4.14.tar.gz" "$work/mirror/"
cp "$deps/libtcod-2.2.2.tar.gz" "$work/mirror/"
fetch >"$work/first" & fetch >"$work/second"
wait %2
if [ -s "$work/first" ] || [ -s "$work/second" ]; then
  echo "FAILED: two fetches at once: $(cat "$work/first" "$work/second")"
  failed=1
fi
[ "$failed" = 1 ] || echo "every script named each missing source, and the corrupted one, before installing; a wrong download was named and dropped; two fetches at once both succeeded"
exit "$failed"
