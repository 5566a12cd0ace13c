#!/bin/bash
# Both programs draw a map from the same poses, in flat mode (R_Cells 1 and
# 2) and textured and lit, and the frames are compared.
#   pair_frames.sh SOFT_DRIVER GL_DRIVER COMPARE WORK_DIR MAP MAP_DIR MIN_AGREEMENT MIN_PSNR
# MAP_DIR: the map's directory when the demo base does not hold it, or "-".
set -u
soft=$1 gl=$2 compare=$3 work=$4 map=$5 map_dir=$6 agreement=$7 psnr=$8
poses=24
map_options=(--map "$map")
[ "$map_dir" != - ] && map_options+=(--map-dir "$map_dir")
rm -rf "$work"
flat1=$'Set R_Flat 1\nSet R_Cells 1\nSet R_Objects 0'
flat2=$'Set R_Flat 1\nSet R_Cells 2\nSet R_Objects 0'
textured=$'Set R_Flat 0\nSet R_Objects 0'
for side in soft gl; do
    driver=$soft
    [ "$side" = gl ] && driver=$gl
    if ! "$driver" --out "$work/$side" --width 640 --height 480 "${map_options[@]}" \
            --pass flat1 "$flat1" --pass flat2 "$flat2" --pass tex "$textured" > "$work.$side.log" 2>&1; then
        echo "the $side driver failed:"
        tail -20 "$work.$side.log"
        exit 1
    fi
done
status=0
"$compare" flat "$work/soft" "$work/gl" $poses "$agreement" || status=1
"$compare" psnr "$work/soft" "$work/gl" $poses "$psnr" || status=1
exit $status
