#!/usr/bin/env bash
# Builds the programs and runs the demo: in a window when a display is there,
# otherwise headless for a fixed number of frames.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/deps.sh
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build/rel -j "${JOBS:-$(nproc)}" --target ostrel ostrel_gl demo_base
# The demo runs in its own folder with the default base directory, which the
# build fills, beside it.
cd build/rel/demo
# The mouse turns the view in a window too: the variable takes the value
# when it is made, before the window opens.
options=(-set Mouse_Windowed 1)
if [ -z "${DISPLAY:-}" ]; then
  export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-dummy}" SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
  export OSTREL_FRAMES="${OSTREL_FRAMES:-300}"
  # One world tick a frame: the scripted walk of main.cfg goes the same way
  # however fast the machine draws.
  options=(-set S_FrameTicks 1)
fi
# Options given to the script come first, so their size wins.
"$root/build/rel/ostrel" -log "${options[@]}" "$@" -width 640 -height 480
echo "demo: finished; log in build/rel/demo/kavrin.log"
