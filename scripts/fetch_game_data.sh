#!/usr/bin/env bash
# Fetches Debian game packages whose sound and music files the tests read as
# users' files, and unpacks each into CACHE/<package>/ (never committed):
#   scripts/fetch_game_data.sh CACHE [package...]
# Default packages: penguin-command solarwolf biniax2-data. A package already
# unpacked is kept; concurrent runs wait for each other. Exits 1 when a
# package could not be fetched.
set -uo pipefail
cache="${1:?usage: fetch_game_data.sh CACHE [package...]}"
shift
packages=("$@")
[ "${#packages[@]}" -gt 0 ] || packages=(penguin-command solarwolf biniax2-data)
mkdir -p "$cache" || exit 1
exec 9> "$cache/.lock"
flock 9
status=0
for p in "${packages[@]}"; do
  [ -f "$cache/$p/.complete" ] && continue
  work="$(mktemp -d "$cache/.fetch.XXXXXX")"
  if (cd "$work" && apt-get download "$p" > download.log 2>&1) && dpkg-deb -x "$work"/*.deb "$work/root"; then
    rm -rf "${cache:?}/$p"
    mv "$work/root" "$cache/$p" && touch "$cache/$p/.complete"
  else
    echo "fetch_game_data: can't fetch '$p':" >&2
    cat "$work/download.log" >&2 2> /dev/null
    status=1
  fi
  rm -rf "$work"
done
exit $status
