#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are missing.
# A second run installs nothing and costs almost nothing. While another
# package manager holds its lock, waits for it (DEPS_LOCK_WAIT seconds at
# most, 600 by default, trying again every DEPS_LOCK_POLL seconds, 5 by
# default) instead of failing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mapfile -t wanted < <(grep -v '^\s*#' "$here/packages.txt" | sed 's/\s*$//' | grep -v '^$')
missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
wait_limit="${DEPS_LOCK_WAIT:-600}"
poll="${DEPS_LOCK_POLL:-5}"
waited=0

# Runs apt-get with the arguments; while it fails on a lock that another
# process holds, tries again until the limit.
apt_get() {
  local err status
  err="$(mktemp)"
  while true; do
    status=0
    $sudo apt-get "$@" 2> "$err" || status=$?
    if [ $status -eq 0 ] || ! grep -qiE 'could not get lock|unable to (acquire|lock)' "$err"; then
      cat "$err" >&2
      rm -f "$err"
      return $status
    fi
    if [ "$waited" -ge "$wait_limit" ] || [ "$poll" -le 0 ]; then
      cat "$err" >&2
      echo "deps: the package lock is still held after ${waited} s" >&2
      rm -f "$err"
      return $status
    fi
    [ "$waited" -gt 0 ] || echo "deps: another package manager holds the lock; waiting (at most ${wait_limit} s)"
    sleep "$poll"
    waited=$((waited + poll))
  done
}

apt_get update -qq
apt_get install -y --no-install-recommends "${missing[@]}"
