#!/bin/bash
# The GL call tracer sees the world benchmark's GL: it wraps every GL entry
# point the benchmark imports, and preloaded into a few frames it counts
# calls and time inside GL.
#   gl_trace_check.sh <bench_gl_world> <libostrel_gl_trace.so> <scratch dir>
set -u
bench=$1
tracer=$(realpath "$2")
scratch=$3
untraced=$(comm -23 <(nm -D --undefined-only "$bench" | awk '$2 ~ /^gl[A-Z]/ { print $2 }' | sort) \
                    <(nm -D --defined-only "$tracer" | awk '$3 ~ /^gl[A-Z]/ { print $3 }' | sort) | tr '\n' ' ')
if [ -n "$untraced" ]; then
    echo "the tracer does not wrap: $untraced"
    exit 1
fi
out=$(LD_PRELOAD="$tracer" "$bench" --map bench --frames 3 --warm-up 1 --size 64x48 --look lit --scratch "$scratch" 2>&1)
echo "$out" | grep -E "gl_calls|in_gl_mean|glFinish"
echo "$out" | awk '$1 ~ /_gl_calls$/ && $2 > 100 { c = 1 } $1 ~ /_in_gl_mean$/ && $2 > 0 { t = 1 }
                   END { if (!c || !t) { print "no GL calls or time traced"; exit 1 } }'
