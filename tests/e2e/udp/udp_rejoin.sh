#!/usr/bin/env bash
# udp_rejoin.sh <e2e_udp_player> <demo base>: processes on 127.0.0.1: a host
# serving the demo level and a player joined over UDP. The host types
# `Connect local` (it leaves its own game and enters it again) while the
# player plays on; the player keeps its slot past the server's 30 s time-out
# for a client that acknowledges no updates, until it quits itself.
# Bounded: about 45 seconds.
set -u
player="$1"; base="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scratch_base.sh" "$base"
source "$here/reports.sh"
fail() {
  echo "udp_rejoin: $*"
  for f in host remote; do [ -f $f.out ] && { echo "--- $f"; cat $f.out; }; done
  exit 1
}

"$player" host 60 > host.out 2> host.err & pids+=($!)
await host.out 10 '^ready' || fail "the host did not start the level"
port=$(sed -n 's/^port \([0-9]*\)$/\1/p' host.out)
[ -n "$port" ] && [ "$port" != 0 ] || fail "the host has no UDP port"

"$player" join "$port" remote 40 > remote.out 2> remote.err & pids+=($!)
await remote.out 5 '^spawned' || fail "remote did not enter"
slot=$(sed -n 's/^slot \([0-9]*\) remote$/\1/p' host.out)
[ -n "$slot" ] || fail "the host did not list remote"
sleep 2
echo "Connect local" > type.txt
await host.out 5 '^typed' || fail "the host did not take the command"
# The new connection may take a slot before the old one is freed, or the
# same slot within one frame: what counts is that the host holds one again.
sleep 3
awk '$3 == "host" && $1 == "slot" { held[$2] = 1 } $3 == "host" && $1 == "free" { delete held[$2] }
     END { for (s in held) found = 1; exit !found }' host.out || fail "the host did not enter its game again"
# Players quit once their seconds have passed and this file exists.
touch stop
await remote.out 45 '^quit' || fail "remote did not quit"
grep -q "^free $slot remote\$" host.out && fail "remote was dropped before it quit"
cat host.out remote.out
echo "udp_rejoin: ok"
