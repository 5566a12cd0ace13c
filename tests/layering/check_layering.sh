#!/usr/bin/env bash
# Fails when a source folder includes a folder above it. From the bottom:
#   host < core, platform, fsys < net, script, soft, sound < world, render
#        < server, client, gl < engine < tools, tests, bench, fuzz
# and besides: server and client never include each other, world, server and
# script include nothing of host, and only host includes system headers of
# SDL, GL, X11, POSIX or sockets.
# "renderer/" names the headers that each program's renderer has of its own
# (render/include/renderer for the software program, gl/include/renderer for
# the OpenGL one), at the level of world and render. What is built once for
# both programs (the server, and world/ outside world/view) never includes
# them, and every one that the shared sources (world/view, client) include
# exists for both programs.
# Usage: check_layering.sh <source root>
set -uo pipefail
root="${1:?usage: check_layering.sh <source root>}"

declare -A level=(
  [host]=0
  [core]=1 [platform]=1 [fsys]=1
  [net]=2 [script]=2 [soft]=2 [sound]=2
  [world]=3 [render]=3 [renderer]=3
  [server]=4 [client]=4 [gl]=4
  [engine]=5
  [tools]=6 [tests]=6 [bench]=6 [fuzz]=6
)
# Pairs that never meet although neither is above the other, and lower
# folders kept off the host layer.
forbidden=" server:client client:server world:host server:host script:host "
system_headers='^(SDL|GL/|EGL/|KHR/|X11/|sys/|netinet/|arpa/|netdb\.h|unistd\.h|fcntl\.h|dirent\.h|poll\.h|pthread\.h|dlfcn\.h|termios\.h)'

faults=0
fault() {
  echo "$1: $2"
  faults=$((faults + 1))
}

renderer_homes=(render/include gl/include)
check_renderer_include() { # <file> <include line>
  local rel=$1 line=$2 header home
  if [[ $rel == server/* || ($rel == world/* && $rel != world/view/*) ]]; then
    fault "$rel" "built once for both programs, may not include 'renderer': $line"
    return
  fi
  if [[ $rel == world/view/* || $rel == client/* ]]; then
    [[ $line =~ \"(renderer/[^\"]+)\" ]] && header="${BASH_REMATCH[1]}"
    for home in "${renderer_homes[@]}"; do
      if [[ -d $root/$home && ! -f $root/$home/$header ]]; then
        fault "$rel" "shared by both programs, includes '$header', which $home lacks"
      fi
    done
  fi
}

for folder in "${!level[@]}"; do
  [[ ${level[$folder]} -le 5 && -d "$root/$folder" ]] || continue
  while IFS= read -r -d '' file; do
    rel="${file#"$root"/}"
    while IFS= read -r line; do
      if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^/\"]+)/ ]]; then
        target="${BASH_REMATCH[1]}"
        if [[ -z ${level[$target]+set} ]]; then
          fault "$rel" "includes unknown folder '$target': $line"
        elif (( level[$target] > level[$folder] )); then
          fault "$rel" "includes '$target', a layer above '$folder': $line"
        elif [[ $forbidden == *" $folder:$target "* ]]; then
          fault "$rel" "'$folder' may not include '$target': $line"
        elif [[ $target == renderer ]]; then
          check_renderer_include "$rel" "$line"
        fi
      elif [[ $folder != host && $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
        if [[ ${BASH_REMATCH[1]} =~ $system_headers ]]; then
          fault "$rel" "system header outside host/: $line"
        fi
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file")
  done < <(find "$root/$folder" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done

if (( faults > 0 )); then
  echo "layering: $faults include(s) against the layer order"
  exit 1
fi
echo "layering: every include keeps the layer order"
