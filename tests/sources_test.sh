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
for script in package-windows package-web test-windows test-platforms "soak --new-machine"; do
  # shellcheck disable=SC2086
  expect "scripts/$script" 2 "\($sdl\|$tcod\) (SHA-256 [0-9a-f]\{64\}) in $work/cache/deps" scripts/$script
done
mkdir -p "$work/cache/deps"
echo corrupted >"$work/cache/deps/libtcod-2.2.2.tar.gz"
expect "a corrupted archive" 1 "libtcod-2.2.2.tar.gz has SHA-256 [0-9a-f]\{64\}, not upstream's [0-9a-f]\{64\} nor" \
  scripts/package-windows
[ "$failed" = 1 ] || echo "every script named each missing source, and the corrupted one, before installing"
exit "$failed"
