#!/usr/bin/env bash
# fetch-debian-data.sh DIR PACKAGE...: downloads Debian packages that ship
# third-party game data and unpacks each into DIR/<package>/, once. Exits
# non-zero when a package cannot be had; never installs anything.
set -euo pipefail
dir="$1"
shift
mkdir -p "$dir"
cd "$dir"
# Tests that run side by side fetch into the same place one at a time.
exec 9> .lock
flock 9
for p in "$@"; do
  [ -f "$p/.unpacked" ] && continue
  rm -rf "$p" "$p"_*.deb
  apt-get download "$p" >/dev/null 2>&1 || { echo "fetch-debian-data: can't download $p" >&2; exit 1; }
  dpkg-deb -x "$p"_*.deb "$p"
  rm -f "$p"_*.deb
  touch "$p/.unpacked"
done
