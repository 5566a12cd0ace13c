#!/bin/bash
# The world in both programs on the renderer benchmark's map and its
# 1000-pose path (bench/bench_map): the software renderer (rbench) beside the
# OpenGL one (bench_gl_world) on llvmpipe with LP_NUM_THREADS=1 and with its
# default, at 640 x 480 and 1024 x 768, in one run, as one table.
#   bench/gl/world_bench.sh [BUILD_DIR] [FRAMES]
# Builds nothing. Per configuration the GL benchmark runs twice: plain, for the
# frame times and the hand-over and glFinish times, and with the GL call
# tracer preloaded (libostrel_gl_trace.so), for the GL calls and the time
# inside GL while the frame is handed over; the engine's share (traversal,
# culling, lightmap rebuilds, the calls' own cost) is the traced hand-over
# less that and less the tracer's own clock reads. The table splits the plain
# hand-over in the traced run's proportion, as the tracer's cost (some 50 to
# 150 ns a call) falls on both sides. With perf on the path a third
# run is sampled over its measured frames and split by thread (the program's
# own against llvmpipe's rasterizer threads) and by library, in CPU ms a
# frame. OSTREL_NO_PERF=1 skips it.
# Columns: frame times median (fps from it) and p95; ratio = software fps /
# GL fps; per frame GL calls, images handed to GL, lightmaps built and
# uploaded, polygons drawn; the GL frame's mean split in ms: hand-over
# (engine + in GL) and glFinish wait.
set -u
build=${1:-build/rel}
frames=${2:-1000}
rbench=$build/bench/render/rbench
glbench=$build/bench/gl/bench_gl_world
tracer=$(realpath -q "$build/bench/gl/libostrel_gl_trace.so")
for f in "$rbench" "$glbench" "$tracer"; do
    if [ ! -e "$f" ]; then
        echo "no $f: build rbench, bench_gl_world and ostrel_gl_trace first" >&2
        exit 1
    fi
done
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A GL entry point the tracer does not wrap would go untimed.
untraced=$(comm -23 <(nm -D --undefined-only "$glbench" | awk '$2 ~ /^gl[A-Z]/ { print $2 }' | sort) \
                    <(nm -D --defined-only "$tracer" | awk '$3 ~ /^gl[A-Z]/ { print $3 }' | sort) | tr '\n' ' ')
[ -n "$untraced" ] && echo "warning: the tracer misses $untraced" >&2

echo "machine: $(nproc) cores, load average at start $(cut -d' ' -f1-3 /proc/loadavg)"

"$rbench" "$scratch/soft" >"$scratch/soft.txt" 2>/dev/null || echo "rbench failed" >&2
value() { # file name
    awk -v n="$2" '$1 == n { print $2; exit }' "$1"
}

gl_run() { # threads size out [wrapper...]
    local threads=$1 size=$2 out=$3
    shift 3
    local env_threads=()
    [ "$threads" != default ] && env_threads=(LP_NUM_THREADS="$threads")
    env "${env_threads[@]}" "$@" "$glbench" --map bench --look lit --frames "$frames" --size "$size" \
        --scratch "$scratch/gl" >"$out" 2>/dev/null || echo "bench_gl_world failed ($threads, $size)" >&2
}

have_perf=0
if [ "${OSTREL_NO_PERF:-0}" != 1 ] && command -v perf >/dev/null &&
    perf record -q -o "$scratch/probe.data" true >/dev/null 2>&1; then
    have_perf=1
fi

# perf's samples of the measured frames (the benchmark enables sampling
# through perf's control FIFO) in CPU ms a frame: the program's thread and
# llvmpipe's rasterizer threads, each by library (the engine, Mesa, Mesa's
# JIT code, libc, the kernel), and the program thread's heaviest symbols.
perf_split() { # data file, label
    perf report -i "$1" --sort comm,dso -F period,comm,dso --stdio 2>/dev/null | awk -v label="$2" -v frames="$frames" '
        /^#/ || NF < 3 { next }
        {
            ms = $1 / 1e6 / frames; comm = $2; dso = $3
            thread = comm ~ /^llvmpipe/ ? "raster" : (comm == "bench_gl_world" ? "main" : "other")
            if (dso ~ /^\[JIT\]/) lib = "jit"
            else if (dso ~ /dri|gallium|libGL|libOpenGL|libglapi|libEGL|libLLVM/) lib = "mesa"
            else if (dso ~ /^libc|^libm|^ld-linux|^libstdc/) lib = "libc"
            else if (dso == "bench_gl_world") lib = "engine"
            else if (dso ~ /kernel/) lib = "kernel"
            else lib = "other"
            share[thread " " lib] += ms; total[thread] += ms
        }
        END {
            split("main raster", ts, " "); split("engine mesa jit libc kernel other", ls, " ")
            for (t = 1; t <= 2; ++t) {
                line = sprintf("  perf %-16s %-6s %6.2f ms:", label, ts[t], total[ts[t]])
                for (l = 1; l <= 6; ++l) {
                    k = ts[t] " " ls[l]
                    if (share[k] >= 0.005) line = line sprintf(" %s %.2f", ls[l], share[k])
                }
                print line
            }
        }'
    perf report -i "$1" --comm bench_gl_world --sort dso,sym -F period,dso,sym --stdio 2>/dev/null |
        grep -v '^#' | sort -k1,1nr | head -6 | awk -v label="$2" -v frames="$frames" '
        match($0, / \[[.k]\] /) {
            dso = substr($0, 1, RSTART - 1); sub(/^ *[0-9]+ +/, "", dso); sub(/ +$/, "", dso); sub(/ tid [0-9]+$/, "", dso)
            name = substr($0, RSTART + RLENGTH)
            gsub(/\(anonymous namespace\)::/, "", name); gsub(/<.*>/, "<>", name); gsub(/\(.*\)/, "", name)
            gsub(/ +$/, "", name)
            names = names sprintf(" %s (%s) %.2f;", name, dso, $1 / 1e6 / frames)
        }
        END { printf "  perf %-16s main thread heaviest:%s\n", label, names }'
}

printf "%-5s %-8s %-7s | %7s %7s %6s | %7s %7s %6s | %6s | %6s %5s %5s %5s %5s | %6s %6s %6s %6s\n" \
    map size threads soft_ms soft_p95 fps gl_ms gl_p95 fps soft:gl calls images lm_blt lm_upl polys \
    handovr engine in_gl finish
notes=("  handovr, finish: the plain run's means; engine, in_gl: the traced run's split of the hand-over (its clock reads taken off) scaled to the plain one")
for size in 640x480 1024x768; do
    soft_med=$(value "$scratch/soft.txt" "frame_median_$size")
    soft_p95=$(value "$scratch/soft.txt" "frame_p95_$size")
    for threads in 1 default; do
        plain=$scratch/plain_${threads}_$size.txt
        traced=$scratch/traced_${threads}_$size.txt
        gl_run "$threads" "$size" "$plain"
        gl_run "$threads" "$size" "$traced" LD_PRELOAD="$tracer"
        g() { value "$1" "gl_bench_lit_${size}_$2"; }
        awk -v size="$size" -v threads="$threads" -v sm="${soft_med:-0}" -v sp="${soft_p95:-0}" \
            -v gm="$(g "$plain" frame_median)" -v gp="$(g "$plain" frame_p95)" \
            -v calls="$(g "$traced" gl_calls)" -v images="$(g "$plain" uploads)" \
            -v built="$(g "$plain" lightmaps_built)" -v upl="$(g "$plain" lightmap_uploads)" \
            -v polys="$(g "$plain" polygons)" -v hand="$(g "$plain" handover_mean)" \
            -v ingl="$(g "$traced" in_gl_mean)" -v engine="$(g "$traced" engine_mean)" -v fin="$(g "$plain" finish_mean)" 'BEGIN {
                sf = sm > 0 ? 1000 / sm : 0; gf = gm > 0 ? 1000 / gm : 0
                share = engine + ingl > 0 ? engine / (engine + ingl) : 0
                printf "%-5s %-8s %-7s | %7.2f %7.2f %6.1f | %7.2f %7.2f %6.1f | %6.2f | %6.0f %5.1f %5.1f %5.1f %5.0f | %6.2f %6.2f %6.2f %6.2f\n",
                    "bench", size, threads, sm, sp, sf, gm, gp, gf, (gf > 0 ? sf / gf : 0),
                    calls, images, built, upl, polys, hand, hand * share, hand * (1 - share), fin
            }'
        top=$(awk -v s="gl_bench_lit_${size}_top" 'index($1, s) == 1 && $1 ~ /_ms$/ {
                  n = substr($1, length(s) + 3); sub("_ms$", "", n); printf " %s %.2f", n, $2 }' "$traced")
        notes+=("  gl time by entry point ($size, $threads; ms/frame, glFinish included):$top")
        notes+=("  tracer: hand-over $(g "$traced" handover_mean) ms traced against $(g "$plain" handover_mean) ms plain ($(g "$traced" tracer_clock) ns a clock read)")
        if [ $have_perf = 1 ]; then
            env_threads=()
            [ "$threads" != default ] && env_threads=(LP_NUM_THREADS="$threads")
            rm -f "$scratch/perf.ctl" "$scratch/perf.ack" && mkfifo "$scratch/perf.ctl" "$scratch/perf.ack"
            env "${env_threads[@]}" OSTREL_PERF_CONTROL="$scratch/perf.ctl" OSTREL_PERF_ACK="$scratch/perf.ack" \
                perf record -q -D -1 --control="fifo:$scratch/perf.ctl,$scratch/perf.ack" -F 999 \
                -o "$scratch/perf.data" "$glbench" --map bench --look lit --frames "$frames" --size "$size" \
                --scratch "$scratch/gl" >/dev/null 2>&1 &&
                mapfile -t -O "${#notes[@]}" notes < <(perf_split "$scratch/perf.data" "$size,$threads")
        fi
    done
done
printf "%s\n" "${notes[@]}"
[ $have_perf = 1 ] || echo "  (perf absent or not permitted: no per-library split)"
echo "load average at end $(cut -d' ' -f1-3 /proc/loadavg)"
