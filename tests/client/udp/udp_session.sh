#!/usr/bin/env bash
# udp_session.sh <server> <ostrel> <mapgen> <rooms> <assets>: the program connects over
# UDP to the test server in a network namespace of its own.
set -u
server="$1"; ostrel="$2"; mapgen="$3"; rooms="$4"; assets="$5"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/skip_or_fail.sh"
if ! unshare -rn true 2> /dev/null; then
  skip_or_fail "udp_session: no network namespace here"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
"$mapgen" "$rooms" maps/rooms || exit 1
"$assets" kavrin > /dev/null || exit 1
printf 'Connect 127.0.0.1\nPress Forward\n' > main.cfg
unshare -rn bash -c "
  ip link set lo up
  '$server' 30 > server.log 2>&1 & spid=\$!
  sleep 0.5
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy OSTREL_NO_MESSAGE_BOX=1 OSTREL_FRAMES=30000 \
    '$ostrel' -log -set Log_Filter Mweld -set Net_SizeStats True > client.log 2>&1
  wait \$spid
"
status=$?
cat server.log
grep -E "Client: |Object 0xa00000" kavrin.log
if [ $status -ne 0 ]; then
  echo "udp_session: the server saw no input"; tail -30 kavrin.log; exit 1
fi
if ! grep -q "Object 0xa00000 - " kavrin.log; then
  echo "udp_session: the client never decoded the camera"; exit 1
fi
echo "udp_session: ok"
