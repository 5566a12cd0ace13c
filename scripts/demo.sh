#!/usr/bin/env bash
# Builds the programs and runs the demo: in a window when a display is there,
# otherwise headless for a fixed number of frames. OSTREL_PROGRAM=ostrel_gl
# runs the OpenGL program instead of the software one.
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
program="${OSTREL_PROGRAM:-ostrel}"
case "$program" in
  ostrel | ostrel_gl) ;;
  *) echo "demo: OSTREL_PROGRAM must be ostrel or ostrel_gl, not '$program'" >&2; exit 2 ;;
esac
# Headless, the OpenGL program draws through Mesa's llvmpipe off screen.
headless_video=dummy
if [ "$program" = ostrel_gl ]; then
  headless_video=offscreen
fi
options=(-set Mouse_Windowed 1)
if [ -z "${DISPLAY:-}" ]; then
  export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-$headless_video}" SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
  export OSTREL_FRAMES="${OSTREL_FRAMES:-300}"
  # One world tick a frame: the scripted walk of main.cfg goes the same way
  # however fast the machine draws.
  options=(-set S_FrameTicks 1)
fi
# Options given to the script come first, so their size wins.
"$root/build/rel/$program" -log "${options[@]}" "$@" -width 640 -height 480
echo "demo: finished; log in build/rel/demo/kavrin.log"
