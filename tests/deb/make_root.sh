#!/usr/bin/env bash
# Makes the throwaway Debian 12 root the package install test unpacks: a
# tarball made by mmdebstrap from this machine's own apt sources, cached in
# FOLDER under a name keyed on those sources and on what it includes, so a
# later run (or a run started early, in the background) reuses it.
# Prints the tarball's path. Several callers may run at once: one builds, the
# others wait for it.
# Usage: tests/deb/make_root.sh FOLDER
set -euo pipefail
folder=${1:?usage: make_root.sh FOLDER}
mkdir -p "$folder"

# What the test runs inside besides our packages: cupsd with its driver
# lister (cups, not cups-daemon alone), ipptool, systemd-analyze; and the
# libraries our packages depend on, so that installing them usually needs
# no download. The package lists stay, so apt can fetch a dependency that
# is not here from the same sources.
include=cups,cups-ipp-utils,systemd,libpappl1,libcups2,libpoppler126
shopt -s nullglob
sources=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] && sources+=("$file")
done
[ ${#sources[@]} -gt 0 ] || { echo "make_root.sh: no apt sources on this machine" >&2; exit 1; }

key=$( { cat "${sources[@]}"; echo "$include"; cat "$0"; } | sha256sum | cut -c1-16)
tarball="$folder/bookworm-$key.tar"
exec 9>"$folder/root.lock"
flock 9
if [ ! -s "$tarball" ]; then
  rm -rf "$folder"/bookworm-*.tar "$folder"/partial.tar "$folder"/root.log
  if ! mmdebstrap --mode=root --variant=apt --format=tar --skip=cleanup/apt/lists --include="$include" bookworm "$folder/partial.tar" "${sources[@]}" \
       >"$folder/root.log" 2>&1; then
    rm -f "$folder/partial.tar"
    cat "$folder/root.log" >&2
    echo "make_root.sh: mmdebstrap failed (log above)" >&2
    exit 1
  fi
  mv "$folder/partial.tar" "$tarball"
fi
echo "$tarball"
