#!/usr/bin/env bash
# udp_cross.sh <software player> <OpenGL player> <demo base>: processes on
# 127.0.0.1, each program's player joined to the other program's host: a
# software host with an OpenGL player, then an OpenGL host with a software
# player. The player walks north from where it entered and the host sees it
# walk; then the host's own player walks north and the joined one sees that.
# Each host lists the joined player's slot. The joined player quits, and
# the host quits through its console (no wait for the quiet link's 30 s).
# Bounded: about 10 seconds a pair.
set -u
soft="$1"; gl="$2"; base="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scratch_base.sh" "$base"
source "$here/reports.sh"

# player <soft|gl> <arguments>...: the program's player, headless.
player() {
  local program=$1
  shift
  if [ "$program" = gl ]; then
    SDL_VIDEODRIVER=offscreen "$gl" "$@"
  else
    SDL_VIDEODRIVER=dummy "$soft" "$@"
  fi
}
fail() {
  echo "udp_cross ($pair): $*"
  for f in host joined; do [ -f $pair.$f.out ] && { echo "--- $pair.$f"; cat $pair.$f.out; }; done
  exit 1
}
# Console text for the host, whole: it takes the file as soon as it is there.
host_types() {
  echo "$1" > type.tmp && mv type.tmp type.txt
}

for pair in soft-gl gl-soft; do
  host=${pair%-*} joined=${pair#*-}
  start=$SECONDS
  rm -f stop type.txt
  player "$host" host 60 > $pair.host.out 2> $pair.host.err & pids+=($!)
  await $pair.host.out 10 '^ready' || fail "the $host host did not start the level"
  port=$(sed -n 's/^port \([0-9]*\)$/\1/p' $pair.host.out)
  [ -n "$port" ] && [ "$port" != 0 ] || fail "the $host host has no UDP port"

  player "$joined" join "$port" far 1 > $pair.joined.out 2> $pair.joined.err & pids+=($!)
  await $pair.joined.out 10 '^spawned' || fail "the $joined player did not enter"
  await $pair.host.out 5 '^slot [0-9]+ far$' || fail "the $host host did not list the $joined player"
  await $pair.host.out 20 '^saw 5[0-9a-f]{5} walk' || fail "the $host host did not see the $joined player walk"
  # The host's player starts walking only now, where the joined one sees it first.
  host_types "Press Forward"
  await $pair.host.out 5 '^typed' || fail "the $host host did not take the command"
  await $pair.joined.out 20 '^saw 5[0-9a-f]{5} walk' || fail "the $joined player did not see the host walk"
  touch stop
  await $pair.joined.out 8 '^quit' || fail "the $joined player did not quit"
  host_types "Quit"
  await $pair.host.out 8 '^quit' || fail "the $host host did not quit"
  walked_north $pair.host.out || fail "the $host host did not report the $joined player's walk"
  walked_north $pair.joined.out || fail "the $joined player did not report the host's walk"
  wait
  pids=()
  cat $pair.host.out $pair.joined.out
  echo "udp_cross: $host host, $joined player: ok in $((SECONDS - start)) s"
done
