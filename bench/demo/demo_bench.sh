#!/bin/bash
# The whole demo walk played back in both programs at 640 x 480, in one run:
# frames a second, median and 95th-percentile frame time of `ostrel`, of
# `ostrel_gl` with llvmpipe on one thread and on its default, and the ratio
# of the software program's rate to each OpenGL one's (bench_demo_soft and
# bench_demo_gl: the demo's own script recorded once per run and played back
# with TimeDemo, each engine frame timed; see demo_bench.cpp). Then, when
# perf is there, where the OpenGL program's playback frames spend the
# processor: the engine's own code (split into mesh vertex work, lightmap
# rebuilds, GL state setters and the rest by folder) against the driver
# (Mesa's libraries, llvmpipe's JIT code and threads).
#   bench/demo/demo_bench.sh [BUILD_DIR] [REPLAYS]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-build/rel}
replays=${2:-3}
dir=$build/bench/demo
soft=$dir/bench_demo_soft
gl=$dir/bench_demo_gl
for f in "$soft" "$gl"; do
    if [ ! -x "$f" ]; then
        echo "no $f: build bench_demo_soft and bench_demo_gl first" >&2
        exit 1
    fi
done
export SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

load() { echo "load $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"; }

figure() { # file name
    sed -n "s/^[a-z_]*_$2 \([0-9.]*\) .*/\1/p" "$1"
}

echo "demo walk played back $replays times at 640 x 480; $(load) before"
runs=(soft gl_1 gl_default)
labels=("ostrel" "ostrel_gl LP_NUM_THREADS=1" "ostrel_gl default")
run() { # name environment... program
    local name=$1
    shift
    # The engine's start-up talk goes to the log; shown when the run fails.
    if ! env "$@" --replays "$replays" > "$work/$name" 2> "$work/$name.log"; then
        echo "$name failed:" >&2
        tail -5 "$work/$name.log" >&2
    fi
}
run soft SDL_VIDEODRIVER=dummy "$soft"
run gl_1 SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=1 "$gl"
run gl_default SDL_VIDEODRIVER=offscreen "$gl"
soft_fps=$(figure "$work/soft" fps)
printf "%-27s %7s %6s %9s %10s %10s %14s\n" program frames walked fps median_ms p95_ms ostrel/program
for i in "${!runs[@]}"; do
    f=$work/${runs[$i]}
    fps=$(figure "$f" fps)
    ratio=$(awk -v s="${soft_fps:-0}" -v g="${fps:-0}" 'BEGIN { if (g > 0) printf "%.2f", s / g; else print "-" }')
    printf "%-27s %7s %6s %9s %10s %10s %14s\n" "${labels[$i]}" "$(figure "$f" frames)" "$(figure "$f" walked)" "${fps:--}" \
        "$(figure "$f" median)" "$(figure "$f" p95)" "$ratio"
done
echo "$(load) after"

if ! command -v perf > /dev/null; then
    echo "no perf: the share of the OpenGL frame in the engine's code is not measured"
    exit 0
fi

# Which source file defines each of the engine's functions (mangled names,
# as perf shows them without demangling).
nm --defined-only -l "$gl" > "$work/files" 2> /dev/null

profile() { # threads
    local data=$work/perf_$1.data
    rm -f "$work/ctl" "$work/ack"
    mkfifo "$work/ctl" "$work/ack"
    local threads=()
    [ "$1" != default ] && threads=(LP_NUM_THREADS=$1)
    # On the processor clock (the host has no hardware counters), user code
    # only (it allows no kernel samples), only during the timed frames; call
    # chains from the stack's copy, as neither the engine nor Mesa keeps
    # frame pointers, to find who called memcpy and malloc.
    env SDL_VIDEODRIVER=offscreen "${threads[@]}" perf record -q -e cpu-clock:u -F 2000 \
        --call-graph dwarf,12288 -D -1 --control "fifo:$work/ctl,$work/ack" -o "$data" -- \
        "$gl" --replays "$replays" --perf-control "$work/ctl" "$work/ack" > /dev/null 2>&1
    echo
    echo "ostrel_gl playback frames, LP_NUM_THREADS=$1: share of the processor samples of all threads"
    perf script -i "$data" -F comm,tid,ip,sym,dso --no-demangle 2> /dev/null |
        awk -v engine="$(basename "$gl")" -f "$here/perf_share.awk" "$work/files" - ||
        echo "  perf recorded nothing"
    rm -f "$data"
}
profile 1
profile default
