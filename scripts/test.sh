#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the normal build (warnings as errors) and all its tests;
#   2. every test but the long ones under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the threaded tests under ThreadSanitizer;
#   4. each fuzz target for a short time (libFuzzer, clang).
# ORVEL_STAGES picks stages (default "normal asan tsan fuzz"); ORVEL_JOBS sets parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${ORVEL_JOBS:-2}
stages=${ORVEL_STAGES:-"normal asan tsan fuzz"}

bash scripts/install-deps.sh

failed=()
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
# Runs a ctest command line and keeps its totals for the closing line.
run_ctest() {
  local out rc=0
  out=$(mktemp)
  "$@" 2>&1 | tee "$out" || rc=1
  grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$out" >>"$summary" || true
  rm -f "$out"
  return $rc
}
run_stage() {
  local name=$1; shift
  echo "=== stage: $name ==="
  if "$@"; then echo "=== stage $name: ok ==="; else echo "=== stage $name: FAILED ==="; failed+=("$name"); fi
}

normal() {
  cmake -S . -B build -DORVEL_WERROR=ON >/dev/null
  cmake --build build -j"$jobs"
  # GUI tests run offscreen; the OpenGL ones (label gl) need a real X display, so the whole
  # stage runs under a virtual one (Mesa's software OpenGL).
  (cd build && QT_QPA_PLATFORM=offscreen \
    run_ctest xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$jobs")
}

# Everything but the long sequences, the Qt front end included (offscreen; the OpenGL tests,
# which need a real X display, run in the normal stage only).
asan() {
  cmake -S . -B build-asan -DORVEL_WERROR=ON -DORVEL_SANITIZE=address \
    -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-asan -j"$jobs"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    QT_QPA_PLATFORM=offscreen run_ctest ctest --output-on-failure -j"$jobs" -LE "slow|gl")
}

tsan() {
  cmake -S . -B build-tsan -DORVEL_WERROR=ON -DORVEL_SANITIZE=thread -DORVEL_BUILD_GUI=OFF \
    -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-tsan -j"$jobs"
  (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 run_ctest ctest --output-on-failure -j"$jobs" -L threads)
}

fuzz() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DORVEL_FUZZ=ON -DORVEL_BUILD_GUI=OFF \
    -DORVEL_BUILD_BENCH=OFF -DORVEL_BUILD_TOOLS=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  local ok=0
  for f in build-fuzz/fuzz/*/fuzz_*; do
    [ -x "$f" ] || continue
    echo "fuzz: $(basename "$f")"
    # A target's seeds (fuzz/AREA/seeds) are read, never written: new inputs go to a scratch
    # folder listed first.
    local seeds=fuzz/$(basename "$(dirname "$f")")/seeds scratch
    scratch=$(mktemp -d)
    [ -d "$seeds" ] || seeds=
    "$f" -max_total_time="${ORVEL_FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -print_final_stats=0 \
      "$scratch" $seeds 2>&1 | tail -n 3 || ok=1
    rm -rf "$scratch"
  done
  return $ok
}

for s in $stages; do run_stage "$s" "$s"; done

# One closing line over every stage: "N passed, N failed".
total=0; bad=0
while read -r line; do
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  n=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  total=$((total + n)); bad=$((bad + f))
done <"$summary"

if ((${#failed[@]})); then
  echo "FAILED stages: ${failed[*]}"
  echo "tests: $((total - bad)) passed, $((bad + ${#failed[@]})) failed"
  exit 1
fi
echo "all test stages passed"
echo "tests: $((total - bad)) passed, $bad failed"
