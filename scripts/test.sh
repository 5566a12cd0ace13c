#!/usr/bin/env bash
# Builds and runs every test: the release build, the sanitizer build and a
# short run of each fuzz target. Build folders: build/rel, build/asan, build/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/deps.sh
jobs="${JOBS:-$(nproc)}"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy OSTREL_NO_MESSAGE_BOX=1
# A test that lacks what it needs from the machine (an OpenGL context, an X
# display, a tool) fails here instead of skipping (tests/support/skip_or_fail.h).
export OSTREL_NO_SKIP=1
status=0

# Each stage ends with its wall time and the processor time (user + system)
# spent by every process it waited for (`times` in this shell: a subshell
# would not see them).
stage="" stage_start=0 stage_cpu=0 times_file="$(mktemp)"
trap 'rm -f "$times_file"' EXIT
step() {
  local now cpu
  times > "$times_file"
  now=$(date +%s)
  cpu=$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] } print t }' "$times_file")
  if [ -n "$stage" ]; then
    awk -v s="$stage" -v w=$((now - stage_start)) -v c="$cpu" -v c0="$stage_cpu" \
      'BEGIN { printf "== %s took %d s, %.1f processor-minutes\n", s, w, (c - c0) / 60 }'
  fi
  stage="$*" stage_start=$now stage_cpu=$cpu
  echo "== $* ($(date +%T))"
}

step "release build"
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build/rel -j "$jobs"
step "release tests"
ctest --test-dir build/rel -j "$jobs" --output-on-failure --timeout 300 -LE xvfb || status=1
step "window tests on Xvfb"
# One X server for them all, one test at a time: they share its keyboard focus.
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir build/rel --output-on-failure --timeout 300 -L xvfb || status=1

step "sanitizer build"
# Line tables (-g1) are all that the sanitizers' reports and the fuzzer's
# crash traces read, at a quarter less compile time than full debug data.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON \
      -DOSTREL_BENCH=OFF -DOSTREL_PROGRAMS=OFF -DCMAKE_CXX_FLAGS="-O1" -DCMAKE_CXX_FLAGS_DEBUG="-g1" > /dev/null
cmake --build build/asan -j "$jobs"
step "sanitizer tests"
# The end-to-end tests play the demo base that the release build wrote.
OSTREL_DEMO_BASE="$root/build/rel/demo/kavrin" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 600 -LE 'no_sanitizer|xvfb' || status=1

if ls fuzz/*/CMakeLists.txt > /dev/null 2>&1; then
  step "fuzz build"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_FUZZ=ON \
        -DOSTREL_TESTS=OFF -DOSTREL_BENCH=OFF -DOSTREL_PROGRAMS=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" > /dev/null
  cmake --build build/fuzz -j "$jobs"
  step "fuzz runs"
  scripts/fuzz.sh "${FUZZ_SECONDS:-150}" || status=1
fi

step "done"
exit $status
