# Debian roots made with mmdebstrap (as root), kept under ZAN_ROOTS for the
# next run: other releases' libraries, and Debian 13's emscripten.
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

# Has the root at the path given trust this machine's network's certificate
# authorities, through which npm's registry is reached, and tell npm so.
trust_our_network() {
  cp /usr/local/share/ca-certificates/*.crt "$1/usr/local/share/ca-certificates/" 2>/dev/null || true
  [ ! -f /etc/npmrc ] || cp /etc/npmrc "$1/etc/npmrc"
  chroot "$1" update-ca-certificates >/dev/null 2>&1
}

# Runs a shell command in the root NAME (or at the path given), with the
# system's file systems mounted and an environment as CI has (no display,
# no terminal; ZAN_RUN, NODE_EXTRA_CA_CERTS and SOURCE_DATE_EPOCH kept), in mount and PID
# namespaces of the call's own, so that nothing is left mounted or running
# however it ends. The root is bound onto itself, so that a run inside can
# make its own mounts private (soak's new machine); a failed mount stops it.
in_root() {
  local root=$1
  [ "${root#/}" != "$root" ] || root=$roots/$root
  unshare --mount --pid --fork --propagation private bash -c '
    mount --bind "$1" "$1" && mount -t proc proc "$1/proc" || exit 1
    for fs in sys dev; do mount --rbind "/$fs" "$1/$fs" || exit 1; done
    exec chroot "$1" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
      LANG=C.UTF-8 CMAKE_GENERATOR=Ninja ${ZAN_RUN:+ZAN_RUN="$ZAN_RUN"} \
      ${NODE_EXTRA_CA_CERTS:+NODE_EXTRA_CA_CERTS="$NODE_EXTRA_CA_CERTS"} \
      ${SOURCE_DATE_EPOCH:+SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH"} bash -c "$2"' - "$root" "${*:2}"
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
