#!/usr/bin/env bash
# udp_players.sh <e2e_udp_player> <demo base>: processes on 127.0.0.1: a
# host serving the demo level, then two players joining over UDP, each
# walking north from where it entered. Each sees the other's figure walk;
# the slots of those who quit are freed, and a third player takes one.
# Bounded: about 40 seconds, most of them the server's wait for the quiet
# link.
set -u
player="$1"; base="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scratch_base.sh" "$base"
source "$here/reports.sh"
fail() {
  echo "udp_players: $*"
  for f in host alpha beta gamma; do [ -f $f.out ] && { echo "--- $f"; cat $f.out; }; done
  exit 1
}

"$player" host 60 > host.out 2> host.err & pids+=($!)
await host.out 10 '^ready' || fail "the host did not start the level"
port=$(sed -n 's/^port \([0-9]*\)$/\1/p' host.out)
[ -n "$port" ] && [ "$port" != 0 ] || fail "the host has no UDP port"

"$player" join "$port" alpha 3 > alpha.out 2> alpha.err & pids+=($!)
"$player" join "$port" beta 3 > beta.out 2> beta.err & pids+=($!)
await alpha.out 5 '^spawned' || fail "alpha did not enter"
await beta.out 5 '^spawned' || fail "beta did not enter"
# Each waits for the other's figure to walk the distance from wherever it
# first saw it (its updates may arrive late), then both may quit.
await alpha.out 20 '^saw 5[0-9a-f]{5} walk' || fail "alpha did not see beta walk"
await beta.out 20 '^saw 5[0-9a-f]{5} walk' || fail "beta did not see alpha walk"
touch stop
await alpha.out 8 '^quit' || fail "alpha did not quit"
await beta.out 8 '^quit' || fail "beta did not quit"
# The figure that went straight north is the other player, walking (the
# guard's route runs elsewhere, the host's own player stands, a player's own
# figure is not sent to it).
walked_north alpha.out || fail "alpha did not report beta's walk"
walked_north beta.out || fail "beta did not report alpha's walk"

# A client that quits says nothing over UDP: the server lets it go when its
# link has been silent for 30 s, and the scripts take its player away.
alpha_slot=$(sed -n 's/^slot \([0-9]*\) alpha$/\1/p' host.out)
beta_slot=$(sed -n 's/^slot \([0-9]*\) beta$/\1/p' host.out)
[ -n "$alpha_slot" ] && [ -n "$beta_slot" ] || fail "the host did not list alpha and beta"
await host.out 40 "^free $alpha_slot alpha\$" || fail "alpha's slot was not freed"
await host.out 5 "^free $beta_slot beta\$" || fail "beta's slot was not freed"
"$player" join "$port" gamma 1 > gamma.out 2> gamma.err & pids+=($!)
await gamma.out 5 '^spawned' || fail "gamma did not enter"
first=$(( alpha_slot < beta_slot ? alpha_slot : beta_slot ))
await host.out 2 "^slot $first gamma\$" || fail "gamma did not take the freed slot $first"
await gamma.out 5 '^quit' || fail "gamma did not quit"
cat host.out alpha.out beta.out gamma.out
echo "udp_players: ok"
