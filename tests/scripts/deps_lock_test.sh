#!/usr/bin/env bash
# scripts/deps.sh against a stand-in apt-get that finds the package lock held
# for its first N calls: the script waits for the lock, within its limit, and
# fails at once on any other error. Nothing is installed: dpkg-query, apt-get
# and sudo are stand-ins on PATH.
set -uo pipefail
deps="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat > "$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
exit 1
STUB
cat > "$work/bin/sudo" <<'STUB'
#!/usr/bin/env bash
exec "$@"
STUB
# LOCKED_CALLS calls fail on the lock, then each call does what FAILURE says.
cat > "$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
n=$(($(cat "$CALLS" 2>/dev/null || echo 0) + 1))
echo "$n" > "$CALLS"
echo "apt-get $*" >> "$CALLS.log"
if [ "$n" -le "$LOCKED_CALLS" ]; then
  echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
  exit 100
fi
if [ "$FAILURE" = broken ] && [ "$1" = install ]; then
  echo "E: Unable to locate package nothing-such" >&2
  exit 100
fi
exit 0
STUB
chmod +x "$work/bin/"*

failures=0
# name, locked calls, failure after them, wait limit, expected status, apt-get calls, expected text
check() {
  local name="$1" locked="$2" failure="$3" limit="$4" want_status="$5" want_calls="$6" want_text="$7"
  rm -f "$work/calls" "$work/calls.log"
  local out status=0
  out="$(PATH="$work/bin:$PATH" CALLS="$work/calls" LOCKED_CALLS="$locked" FAILURE="$failure" \
         DEPS_LOCK_WAIT="$limit" DEPS_LOCK_POLL=1 timeout 60 bash "$deps" 2>&1)" || status=$?
  local calls
  calls="$(cat "$work/calls" 2>/dev/null || echo 0)"
  if [ "$status" -ne "$want_status" ] || [ "$calls" -ne "$want_calls" ] || ! grep -qF "$want_text" <<< "$out"; then
    echo "FAIL $name: status $status (want $want_status), apt-get calls $calls (want $want_calls)"
    echo "$out" | sed 's/^/  | /'
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check "lock free" 0 none 10 0 2 "deps: installing"
check "lock held through two tries" 2 none 10 0 4 "waiting (at most 10 s)"
check "lock released between update and install" 1 none 10 0 3 "holds the lock"
check "lock never released" 1000 none 2 100 3 "still held after 2 s"
check "other errors fail at once" 0 broken 10 100 2 "Unable to locate package"
echo "$((5 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
