#!/bin/sh
# Every program the packages install is built with the hardening flags
# dpkg-buildflags gives (hardening=+all): PIE, stack protector, fortified
# functions, read-only relocations and immediate binding. Debian 12's
# compiler adds no control-flow protection, so that one is not asked for.
# Usage: hardening_check.sh PACKAGES
set -eu
work=$(mktemp -d "$1/hardening.XXXXXX")
trap 'rm -rf "$work"' EXIT
for deb in "$1"/*.deb; do
  case $deb in *-dbgsym_*) continue ;; esac
  dpkg-deb -x "$deb" "$work"
done
programs=$(find "$work" -type f -perm -u+x)
[ -n "$programs" ] || { echo "no programs in $1" >&2; exit 1; }
# shellcheck disable=SC2086 # the paths hold no spaces
hardening-check --nocfprotection --quiet $programs
