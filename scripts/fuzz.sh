#!/usr/bin/env bash
# Runs every built fuzz target, seeded from its corpus in
# tests/fixtures/fuzz/<target>/, within one total time budget shared among
# them: scripts/fuzz.sh [TOTAL_SECONDS] (default 150). The budget is divided
# among the targets, which run JOBS at a time (default: the cores), so the
# budget counts processor time and the wall time is a share of it. A target
# fails on a crash and on any sanitizer report in its output; its crash inputs
# are copied into its corpus there as regression fixtures.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
total="${1:-150}"
jobs="${JOBS:-$(nproc)}"
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
rm -f "$root"/build/fuzz/*.failed

# One target: its log in build/fuzz/<name>.log, a <name>.failed mark on failure.
run_one() {
  local bin="$1" root="$2" seconds="$3"
  local name corpus work log code reports
  shopt -s nullglob
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
    echo "exit $code, $reports sanitizer report lines" > "$root/build/fuzz/$name.failed"
    for c in "$root"/build/fuzz/crashes/"$name"-*; do cp "$c" "$corpus/"; done
  fi
  return 0
}
export -f run_one

printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$root" "$seconds"

status=0
for mark in "$root"/build/fuzz/*.failed; do
  name="$(basename "$mark" .failed)"
  echo "fuzz: $name FAILED ($(cat "$mark"))"
  tail -40 "$root/build/fuzz/$name.log"
  status=1
done
exit $status
