#!/usr/bin/env bash
# udp_relay.sh <e2e_udp_player> <ostrel_relay> <demo base>: the host serves
# the demo level in one network namespace, two players join from another,
# and the impairment relay in a third between them loses 5% of the frames.
# Both players still see each other walk. Needs root for ip netns (skips
# with 77 without it, or fails under `make test`). Bounded: about 15 seconds.
set -u
player="$1"; relay="$2"; base="$3"
tag=$(printf '%05x' $(( RANDOM * 32768 + RANDOM )) | tail -c 5)
ns_c="ostrel-$tag-c"; ns_r="ostrel-$tag-r"; ns_s="ostrel-$tag-s"
scratch_cleanup() {
  for ns in "$ns_c" "$ns_r" "$ns_s"; do ip netns del "$ns" 2> /dev/null; done
}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scratch_base.sh" "$base"
source "$here/reports.sh"
source "$here/../../support/skip_or_fail.sh"
if ! ip netns add "$ns_c" 2> /dev/null; then
  skip_or_fail "udp_relay: ip netns is not permitted here (needs root and iproute2)"
fi
set -e
ip netns add "$ns_r"
ip netns add "$ns_s"
for ns in "$ns_c" "$ns_r" "$ns_s"; do ip -n "$ns" link set lo up; done
# One veth pair from each end's namespace to the relay's.
link() { # <namespace> <outer name> <middle name> <address>
  ip link add "$2" type veth peer name "$3"
  ip link set "$3" netns "$ns_r"
  ip link set "$2" netns "$1"
  ip -n "$1" addr add "$4/24" dev "$2"
  ip -n "$1" link set "$2" up
  ip -n "$ns_r" link set "$3" up
}
link "$ns_c" "oc$tag" "ox$tag" 10.214.0.1
link "$ns_s" "os$tag" "oy$tag" 10.214.0.2
set +e
fail() {
  echo "udp_relay: $*"
  for f in relay host alpha beta; do [ -f $f.out ] && { echo "--- $f"; cat $f.out; }; done
  exit 1
}
ip netns exec "$ns_r" "$relay" "ox$tag" "oy$tag" --loss 0.05 --seed 34 --seconds 40 > relay.out 2>&1 & pids+=($!)
ip netns exec "$ns_s" "$player" host 20 > host.out 2> host.err & pids+=($!)
await host.out 10 '^ready' || fail "the host did not start the level"
port=$(sed -n 's/^port \([0-9]*\)$/\1/p' host.out)
[ -n "$port" ] && [ "$port" != 0 ] || fail "the host has no UDP port"
ip netns exec "$ns_c" "$player" join "$port" alpha 4 10.214.0.2 > alpha.out 2> alpha.err & pids+=($!)
ip netns exec "$ns_c" "$player" join "$port" beta 4 10.214.0.2 > beta.out 2> beta.err & pids+=($!)
await alpha.out 8 '^spawned' || fail "alpha did not enter"
await beta.out 8 '^spawned' || fail "beta did not enter"
# Each waits for the other's figure to walk the distance from wherever it
# first saw it (its updates may arrive late), then both may quit.
await alpha.out 20 '^saw 5[0-9a-f]{5} walk' || fail "alpha did not see beta walk"
await beta.out 20 '^saw 5[0-9a-f]{5} walk' || fail "beta did not see alpha walk"
touch stop
await alpha.out 10 '^quit' || fail "alpha did not quit"
await beta.out 10 '^quit' || fail "beta did not quit"
# The figure that went straight north is the other player, walking (the
# guard's route runs elsewhere, the host's own player stands, a player's own
# figure is not sent to it).
walked_north alpha.out || fail "alpha did not report beta's walk"
walked_north beta.out || fail "beta did not report alpha's walk"
kill "${pids[0]}" 2> /dev/null; wait "${pids[0]}" 2> /dev/null
cat relay.out alpha.out beta.out
grep -qE 'relay lost [1-9]' relay.out || fail "the relay lost nothing"
echo "udp_relay: ok"
