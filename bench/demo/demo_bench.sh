#!/bin/bash
# The whole demo walk played back in both programs at 640 x 480, in one run:
# frames a second, median and 95th-percentile frame time of `ostrel`, of
# `ostrel_gl` with llvmpipe on one thread and on its default, and the ratio
# of the software program's rate to each OpenGL one's (bench_demo_soft and
# bench_demo_gl: the demo's own script recorded once per process and played
# back with TimeDemo, each engine frame timed; see demo_bench.cpp). The three
# take turns for ROUNDS rounds of REPLAYS playbacks each, so that a change in
# the load of a shared machine falls on all three, and the figures are those
# of all their frames. Then, when perf is there, where the OpenGL program's
# playback frames spend the processor: the engine's own code (split into
# mesh vertex work, lightmap rebuilds, GL state setters and the rest by
# folder) against the driver (Mesa's libraries, llvmpipe's JIT code and
# threads).
#   bench/demo/demo_bench.sh [BUILD_DIR] [ROUNDS] [REPLAYS]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-build/rel}
rounds=${2:-3}
replays=${3:-2}
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

run() { # name environment... program
    local name=$1
    shift
    # The engine's start-up talk goes to a log, shown when the run fails.
    if ! env "$@" --replays "$replays" --times "$work/$name.times" > "$work/$name" 2> "$work/$name.log"; then
        echo "$name failed:" >&2
        tail -5 "$work/$name.log" >&2
    fi
}

# Frames, frames a second, median and 95th percentile (as bench_figures
# takes them: the value at index p * n of the sorted times).
figures() { # times-file
    sort -g "$1" 2> /dev/null | awk '{ t[NR - 1] = $1; sum += $1 }
        END {
            if (NR == 0 || sum <= 0) { print "0 - - -"; exit }
            m = int(0.5 * NR); p = int(0.95 * NR); if (p > NR - 1) p = NR - 1
            printf "%d %.2f %.3f %.3f\n", NR, 1000 * NR / sum, t[m], t[p]
        }'
}

echo "demo walk: $rounds rounds of $replays playbacks at 640 x 480; $(load) before"
runs=(soft gl_1 gl_default)
labels=("ostrel" "ostrel_gl LP_NUM_THREADS=1" "ostrel_gl default")
for ((r = 0; r < rounds; ++r)); do
    run soft SDL_VIDEODRIVER=dummy "$soft"
    run gl_1 SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=1 "$gl"
    run gl_default SDL_VIDEODRIVER=offscreen "$gl"
done
read -r _ soft_fps _ _ <<< "$(figures "$work/soft.times")"
printf "%-27s %7s %6s %9s %10s %10s %14s\n" program frames walked fps median_ms p95_ms ostrel/program
for i in "${!runs[@]}"; do
    name=${runs[$i]}
    read -r frames fps median p95 <<< "$(figures "$work/$name.times")"
    walked=$(sed -n 's/^[a-z_]*_walked \([0-9.]*\) .*/\1/p' "$work/$name")
    ratio=$(awk -v s="$soft_fps" -v g="$fps" 'BEGIN { if (g + 0 > 0) printf "%.2f", s / g; else print "-" }')
    printf "%-27s %7s %6s %9s %10s %10s %14s\n" "${labels[$i]}" "$frames" "${walked:--}" "$fps" "$median" "$p95" "$ratio"
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
    # frame pointers, to find who called memcpy and malloc. Three playbacks
    # give some 15000 samples.
    env SDL_VIDEODRIVER=offscreen "${threads[@]}" OSTREL_PERF_CONTROL="$work/ctl" OSTREL_PERF_ACK="$work/ack" perf record -q -e cpu-clock:u -F 2000 \
        --call-graph dwarf,12288 -D -1 --control "fifo:$work/ctl,$work/ack" -o "$data" -- \
        "$gl" --replays 3 > /dev/null 2>&1
    echo
    echo "ostrel_gl playback frames, LP_NUM_THREADS=$1: share of the processor samples of all threads"
    perf script -i "$data" -F comm,tid,ip,sym,dso --no-demangle 2> /dev/null |
        awk -v engine="$(basename "$gl")" -f "$here/perf_share.awk" "$work/files" - ||
        echo "  perf recorded nothing"
    rm -f "$data"
}
profile 1
profile default
