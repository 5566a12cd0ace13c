#!/bin/bash
# Microseconds a 2-D frame (a full console page and eight icons, no 3-D
# window) of both programs' screen managers, at 640 x 480 and 1024 x 768,
# llvmpipe on one thread and on its default; the ratio is the OpenGL
# program's median over the software one's.
#   bench/screen/screen_bench.sh [BUILD_DIR] [FRAMES]
# The software program shows its frame on SDL's dummy driver, a window
# surface in memory: on the offscreen driver SDL would put that surface
# through its own OpenGL renderer on llvmpipe, once for each rectangle the
# manager presents, and the figure would be SDL's.
set -u
build=${1:-build/rel}
frames=${2:-2000}
dir=$build/bench/screen
export SDL_AUDIODRIVER=dummy
for f in "$dir/bench_screen_soft" "$dir/bench_screen_gl"; do
    if [ ! -x "$f" ]; then
        echo "no $f: build bench_screen_soft and bench_screen_gl first" >&2
        exit 1
    fi
done

soft_out=$(SDL_VIDEODRIVER=dummy "$dir/bench_screen_soft" "$frames" 2>/dev/null)
gl1_out=$(SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=1 "$dir/bench_screen_gl" "$frames" 2>/dev/null)
gld_out=$(SDL_VIDEODRIVER=offscreen env -u LP_NUM_THREADS "$dir/bench_screen_gl" "$frames" 2>/dev/null)
value() { # output name
    awk -v n="$2" '$1 == n { print $2 }' <<< "$1"
}

printf "%-9s %-8s %12s %12s %12s %12s %9s %8s\n" size llvmpipe soft_median soft_p95 gl_median gl_p95 uploads gl/soft
for size in 640x480 1024x768; do
    sm=$(value "$soft_out" screen_soft_${size}_frame_median)
    sp=$(value "$soft_out" screen_soft_${size}_frame_p95)
    for threads in 1 default; do
        out=$gl1_out
        [ "$threads" = default ] && out=$gld_out
        gm=$(value "$out" screen_gl_${size}_frame_median)
        gp=$(value "$out" screen_gl_${size}_frame_p95)
        up=$(value "$out" screen_gl_${size}_uploads)
        ratio=$(awk -v s="${sm:-0}" -v g="${gm:-0}" 'BEGIN { if (s > 0) printf "%.2f", g / s; else print "-" }')
        printf "%-9s %-8s %12s %12s %12s %12s %9s %8s\n" $size $threads "${sm:--}" "${sp:--}" "${gm:--}" "${gp:--}" "${up:--}" "$ratio"
    done
done
