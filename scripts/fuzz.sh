#!/usr/bin/env bash
# Runs every built fuzz target for a fixed time, seeded from its corpus in
# tests/fixtures/fuzz/<target>/. A crash input is copied there as a fixture.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-20}"
status=0
shopt -s nullglob
for bin in "$root"/build/fuzz/fuzz/*/fuzz_*; do
  [ -x "$bin" ] || continue
  name="$(basename "$bin")"
  corpus="$root/tests/fixtures/fuzz/$name"
  work="$root/build/fuzz/corpus/$name"
  mkdir -p "$corpus" "$work" "$root/build/fuzz/crashes"
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$root/build/fuzz/crashes/$name-" "$work" "$corpus" > "$root/build/fuzz/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "$root/build/fuzz/$name.log"
    for c in "$root"/build/fuzz/crashes/"$name"-*; do cp "$c" "$corpus/"; done
    status=1
  fi
done
exit $status
