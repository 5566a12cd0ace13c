#!/bin/bash
# Frames a second of both programs drawing the same poses (the pair tests'
# drivers, tests/pair) on the demo level and the bench map, at 640 x 480 and
# 1024 x 768, llvmpipe on one thread and on its default, and the ratio of the
# software program's rate to the OpenGL one's.
#   bench/pair/pair_bench.sh [BUILD_DIR] [FRAMES]
# The drivers draw in frames that take no engine time: the world stands still
# and the figures are the drawing's (with the client's frame around it).
set -u
build=${1:-build/rel}
frames=${2:-600}
pair=$build/tests/pair
export OSTREL_DEMO_BASE=${OSTREL_DEMO_BASE:-$build/demo/kavrin}
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
for f in "$pair/pair_driver_soft" "$pair/pair_driver_gl" "$pair/bench_base/maps/bench/geometry.txt"; do
    if [ ! -e "$f" ]; then
        echo "no $f: build pair_driver_soft, pair_driver_gl and pair_bench_map first" >&2
        exit 1
    fi
done

fps() { # driver map size threads
    local map_options=(--map "$2")
    [ "$2" = bench ] && map_options+=(--map-dir "$pair/bench_base/maps/bench")
    local threads=()
    [ "$4" != default ] && threads=(LP_NUM_THREADS=$4)
    env "${threads[@]}" "$1" --bench "$frames" --width "${3%x*}" --height "${3#*x}" "${map_options[@]}" 2>/dev/null |
        sed -n 's/.* fps \([0-9.]*\)$/\1/p'
}

printf "%-6s %-9s %-8s %10s %10s %8s\n" map size llvmpipe ostrel ostrel_gl ratio
for map in demo bench; do
    for size in 640x480 1024x768; do
        soft=$(fps "$pair/pair_driver_soft" $map $size default)
        for threads in 1 default; do
            gl=$(fps "$pair/pair_driver_gl" $map $size $threads)
            ratio=$(awk -v s="${soft:-0}" -v g="${gl:-0}" 'BEGIN { if (g > 0) printf "%.2f", s / g; else print "-" }')
            printf "%-6s %-9s %-8s %10s %10s %8s\n" $map $size $threads "${soft:--}" "${gl:--}" "$ratio"
        done
    done
done
