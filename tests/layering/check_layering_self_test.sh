#!/usr/bin/env bash
# The layering check passes a well-layered tree and names each kind of fault
# in a tree that has one.
set -uo pipefail
check="$(dirname "${BASH_SOURCE[0]}")/check_layering.sh"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0

# tree <name> <file> <line>: a small well-layered tree plus one line in one file.
tree() {
  local dir="$tmp/$1"
  mkdir -p "$dir"/{host,core,platform,net,server,client,engine,world/view} "$dir"/{render,gl}/include/renderer
  touch "$dir"/{render,gl}/include/renderer/sprite.h "$dir"/render/include/renderer/span.h
  printf '#include <SDL.h>\n' > "$dir/host/host_window.cpp"
  printf '#include "host/host_window.h"\n#include "platform/keyboard.h"\n#include <cstdint>\n' > "$dir/core/poll.cpp"
  printf '#include "core/poll.h"\n' > "$dir/platform/mouse.cpp"
  printf '#include "core/print.h"\n#include "net/hive.h"\n' > "$dir/server/server.cpp"
  printf '#include "server/server.h"\n#include "client/client.h"\n' > "$dir/engine/engine.cpp"
  if [[ -n $2 ]]; then
    printf '%s\n' "$3" >> "$dir/$2"
  fi
  echo "$dir"
}

expect() { # expect <pass|fail> <name> <file> <line> [message]
  local want=$1 dir out status
  dir="$(tree "$2" "$3" "$4")"
  out="$(bash "$check" "$dir" 2>&1)"
  status=$?
  if [[ $want == pass && $status -ne 0 ]] || [[ $want == fail && $status -eq 0 ]] ||
     [[ -n ${5:-} && $out != *"$5"* ]]; then
    echo "FAILED: $2 (status $status)"
    echo "$out"
    failures=$((failures + 1))
  fi
}

expect pass clean "" ""
expect pass same_level core/poll.cpp '#include "fsys/fsys.h"'
expect fail core_to_engine core/poll.cpp '#include "engine/engine.h"' "core/poll.cpp: includes 'engine', a layer above 'core'"
expect fail platform_to_net platform/mouse.cpp '#  include "net/hive.h"' "a layer above 'platform'"
expect fail client_to_engine client/client.cpp '#include "engine/entry.h"' "a layer above 'client'"
expect fail server_to_client server/server.cpp '#include "client/client.h"' "'server' may not include 'client'"
expect fail server_to_host server/server.cpp '#include "host/host_clock.h"' "'server' may not include 'host'"
expect fail net_to_tools net/udp.cpp '#include "tools/relay/impairment.h"' "a layer above 'net'"
expect fail unknown_folder net/udp.cpp '#include "game/thing.h"' "unknown folder 'game'"
expect pass renderer_in_client client/client.cpp '#include "renderer/sprite.h"'
expect fail renderer_in_server server/server.cpp '#include "renderer/sprite.h"' "may not include 'renderer'"
expect fail renderer_in_world world/map.cpp '#include "renderer/texture.h"' "may not include 'renderer'"
expect fail renderer_of_one_program client/client.cpp '#include "renderer/span.h"' "which gl/include lacks"
expect fail sdl_outside_host platform/mouse.cpp '#include <SDL2/SDL.h>' "system header outside host/"
expect fail posix_outside_host core/poll.cpp '#include <unistd.h>' "system header outside host/"

if (( failures > 0 )); then
  exit 1
fi
echo "layering self-test: every case behaves"
