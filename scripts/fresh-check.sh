#!/usr/bin/env bash
# fresh-check.sh [checkout]: runs the README's two set-up commands on a fresh,
# minimal Debian 12 root, as a new user on a new machine would, and reports
# each one's status and time.
#
# The root is made once with debootstrap (--variant=minbase, plus git and
# ca-certificates) and kept as a tarball in $MIRA_FRESH_CACHE (default
# ~/.cache/mira-fresh); every check unpacks a new copy, clones the checkout's
# committed HEAD into it and runs, inside a chroot:
#   scripts/demo.sh    then    scripts/test.sh
# Needs root (chroot, mounts) and the Debian mirror. Not part of CI: it takes
# about as long as the test command itself, plus the package downloads.
#
#   MIRA_FRESH_ONLY=demo   run only the first command
#   MIRA_FRESH_KEEP=1      keep the unpacked root afterwards (path printed)
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cache=${MIRA_FRESH_CACHE:-$HOME/.cache/mira-fresh}
mirror=${MIRA_FRESH_MIRROR:-http://deb.debian.org/debian}
tarball="$cache/bookworm-minbase.tar"
[ "$(id -u)" -eq 0 ] || { echo "fresh-check.sh: run as root (chroot and mounts)" >&2; exit 2; }
command -v debootstrap >/dev/null || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null
}

mkdir -p "$cache"
if [ ! -f "$tarball" ]; then
  echo "== making the minimal Debian 12 root (once; cached in $tarball)"
  stage=$(mktemp -d "$cache/stage.XXXXXX")
  debootstrap --variant=minbase --include=git,ca-certificates bookworm "$stage" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { echo "debootstrap failed; see $cache/debootstrap.log" >&2; rm -rf "$stage"; exit 1; }
  tar -C "$stage" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
  rm -rf "$stage"
fi

root=$(mktemp -d /var/tmp/mira-fresh.XXXXXX)
cleanup() {
  for m in dev/pts dev proc sys; do umount -l "$root/$m" 2>/dev/null || true; done
  if [ "${MIRA_FRESH_KEEP:-0}" = 1 ]; then echo "root kept at $root"; else rm -rf "$root"; fi
}
trap cleanup EXIT
tar -C "$root" -xf "$tarball"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
git clone -q "$src" "$root/src"
echo "== checkout: $(git -C "$root/src" log --oneline -1)"

status=0
run_step() {
  local name=$1 log="$root/$1.log" t0 t1 rc
  t0=$(date +%s)
  set +e
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 /bin/bash -c "cd /src && scripts/$name.sh" >"$log" 2>&1
  rc=$?
  set -e
  t1=$(date +%s)
  printf '%-8s status %d  %4d s  (log: %s)\n' "$name" "$rc" "$((t1 - t0))" "$log"
  if [ "$rc" -ne 0 ]; then tail -n 30 "$log"; status=1; MIRA_FRESH_KEEP=1; fi
  return 0
}
run_step demo
[ "${MIRA_FRESH_ONLY:-}" = demo ] || run_step test
exit $status
