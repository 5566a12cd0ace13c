#!/usr/bin/env bash
# program_frames.sh SOFT_PROGRAM GL_PROGRAM PAIR_COMPARE BASE SCRIPT WORK MIN_AGREEMENT MIN_DB,MIN_MEAN_DB
# Both programs, each run twice, headless, through one scripted session of
# the demo (SCRIPT as the base's main.cfg) with one world tick a frame, so
# that every run draws the same frames. Each run ends through Quit: exit 0
# and "Log: Shutting down..." in its log. Then:
#   - each program's shots equal its own earlier run's, byte for byte;
#   - flat mode (R_Cells 1 and 2, objects off) agrees between the programs in
#     at least MIN_AGREEMENT of the pixels (pair_compare flat);
#   - the textured, lit frames with everything drawn reach the PSNR floors.
#
# What the programs draw differently by design, and where it is kept out:
#   texture filtering      OpenGL filters texels and lightmaps in its own
#                          way (R_TFilter, R_LFilter) from the software
#                          drawers': flat mode draws neither; in the textured
#                          frames it is part of the measured PSNR.
#   overbright blending    OpenGL's modulating blend doubles texture times
#                          light, clamped per channel (GL_Overbright), where
#                          the software program looks the product up in its
#                          light tables: flat mode draws no light; in the
#                          textured frames it is part of the measured PSNR.
#   five clip planes       OpenGL clips to the near plane (distance 8) too,
#   against four           the software renderer to the four sides only:
#                          nothing of the scripted views lies that near, and
#                          the sides' pixel or so at polygon edges is within
#                          the flat agreement's shortfall.
#   the lamp sprite        drawn as a lens flare (glow, rays, streak, ghosts)
#   as a lens flare        by OpenGL, as a sprite by the software program:
#                          R_Objects 0 in the flat shots (with the figures,
#                          the drone and the door, drawn alike but moving); in
#                          the textured frames it is part of the measured
#                          PSNR.
set -u
soft=$1 gl=$2 compare=$3 base=$4 script=$5 work=$6 agreement=$7 psnr=$8
# The shots each run writes, in order, and the names pair_compare reads.
names=(tex_0 flat1_0 flat2_0 tex_1 flat1_1 flat2_1)
moments=2
rm -rf "$work"
mkdir -p "$work"
fail() {
  echo "program_frames: $*"
  exit 1
}

run() { # side, run number
  local side=$1 n=$2 program=$soft video=dummy
  [ "$side" = gl ] && program=$gl video=offscreen
  local dir="$work/$side.$n"
  mkdir -p "$dir"
  cp -r "$base" "$dir/kavrin" && rm -rf "$dir/kavrin/shots" "$dir/kavrin/config" || fail "can't copy the base"
  cp "$script" "$dir/kavrin/main.cfg" || fail "can't copy the script"
  local start=$SECONDS
  # The time-out only keeps a hung program from holding the suite.
  (cd "$dir" && SDL_VIDEODRIVER=$video timeout 100 "$program" -log -set S_FrameTicks 1 -width 640 -height 480 \
     > out.txt 2>&1)
  local status=$?
  echo "$side run $n: exit $status in $((SECONDS - start)) s"
  [ $status = 0 ] || { tail -20 "$dir/out.txt"; fail "$side run $n did not end with exit 0"; }
  grep -q "^Log: Shutting down\.\.\.$" "$dir/kavrin.log" || fail "$side run $n: no orderly shutdown in its log"
  grep -q "Shutdown: Timeout" "$dir/kavrin.log" && fail "$side run $n: a client was not let go at once"
  local shots=("$dir"/kavrin/shots/kvr*.bmp)
  [ ${#shots[@]} = ${#names[@]} ] || fail "$side run $n wrote ${#shots[@]} shots, not ${#names[@]}"
  mkdir -p "$dir/frames"
  for i in "${!names[@]}"; do
    cp "${shots[$i]}" "$dir/frames/${names[$i]}.bmp"
  done
}

for side in soft gl; do
  for n in 1 2; do
    run "$side" "$n"
  done
done
status=0
for side in soft gl; do
  for name in "${names[@]}"; do
    cmp -s "$work/$side.1/frames/$name.bmp" "$work/$side.2/frames/$name.bmp" || {
      echo "$side: $name differs from the earlier run's"
      status=1
    }
  done
done
[ $status = 0 ] && echo "each program's shots equal its earlier run's"
"$compare" flat "$work/soft.1/frames" "$work/gl.1/frames" $moments "$agreement" || status=1
"$compare" psnr "$work/soft.1/frames" "$work/gl.1/frames" $moments "$psnr" || status=1
exit $status
