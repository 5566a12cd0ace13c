#!/bin/bash
# Both programs draw the 2-D layer of one screen: the backdrop alone before
# the map, then the console open on known text and the demo's marker icons
# around a 3-D window shrunk to 0.7 of the screen; the frames are compared.
#   pair_screen_2d.sh SOFT_DRIVER GL_DRIVER COMPARE_2D WORK_DIR MIN_COVERAGE
# Nearest texels, the plain texture format and no gamma: the backdrop is
# then the same picture in both programs.
set -u
soft=$1 gl=$2 compare=$3 work=$4 coverage=$5
rm -rf "$work"
plain=$'Set R_TFilter False\nSet GL_TextureFormat 0\nSet R_Gamma 1.0'
shrink=$'R_ResizeDown\nR_ResizeDown\nR_ResizeDown'
for side in soft gl; do
    driver=$soft
    [ "$side" = gl ] && driver=$gl
    if ! "$driver" --out "$work/$side" --width 640 --height 480 --pose-count 1 --console \
            --backdrop backdrop "$plain" --pass screen "$shrink" > "$work.$side.log" 2>&1; then
        echo "the $side driver failed:"
        tail -20 "$work.$side.log"
        exit 1
    fi
done
# 0.7 of 640 x 480.
"$compare" "$work/soft" "$work/gl" 448 336 "$coverage"
