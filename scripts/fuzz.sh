#!/usr/bin/env bash
# Runs every built fuzz target, seeded from its corpus in
# tests/fixtures/fuzz/<target>/, within one total time budget shared among
# them: scripts/fuzz.sh [TOTAL_SECONDS] (default 150). A target fails on a
# crash and on any sanitizer report in its output; its crash inputs are copied
# into its corpus there as regression fixtures.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
total="${1:-150}"
status=0
shopt -s nullglob
targets=()
for bin in "$root"/build/fuzz/fuzz/*/fuzz_*; do
  [ -x "$bin" ] && [ -f "$bin" ] && targets+=("$bin")
done
if [ "${#targets[@]}" -eq 0 ]; then
  echo "fuzz: no fuzz targets built under build/fuzz"
  exit 1
fi
seconds=$(( total / ${#targets[@]} ))
[ "$seconds" -ge 1 ] || seconds=1
mkdir -p "$root/build/fuzz/crashes"
for bin in "${targets[@]}"; do
  name="$(basename "$bin")"
  corpus="$root/tests/fixtures/fuzz/$name"
  work="$root/build/fuzz/corpus/$name"
  log="$root/build/fuzz/$name.log"
  mkdir -p "$corpus" "$work"
  rm -f "$root"/build/fuzz/crashes/"$name"-*
  echo "fuzz: $name for ${seconds}s"
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$root/build/fuzz/crashes/$name-" "$work" "$corpus" > "$log" 2>&1
  code=$?
  reports=$(grep -c -E 'runtime error:|ERROR: (Address|Leak|Undefined)Sanitizer|^SUMMARY: [A-Za-z]+Sanitizer' "$log")
  if [ "$code" -ne 0 ] || [ "$reports" -ne 0 ]; then
    echo "fuzz: $name FAILED (exit $code, $reports sanitizer report lines)"
    tail -40 "$log"
    for c in "$root"/build/fuzz/crashes/"$name"-*; do cp "$c" "$corpus/"; done
    status=1
  fi
done
exit $status
