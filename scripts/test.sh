#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. normal: the build with warnings as errors; every test registered must carry a timeout
#      and known labels; all tests (the OpenGL ones under Xvfb, where they must not skip);
#   2. asan: every test but the long ones under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. tsan: the threaded tests, the Qt cross-thread code included, under ThreadSanitizer;
#   4. fuzz: every target of fuzz/targets.txt for a short time on its seed corpus.
# ORVEL_STAGES picks stages (default "normal asan tsan fuzz"); ORVEL_JOBS sets parallelism;
# ORVEL_FUZZ_SECONDS the time per fuzz target (default 15). Full logs: out/ci/.
#
# Each stage runs as a process of its own with `set -e` in force, so any failing step fails
# its stage (in a function called as an `if` condition, bash would ignore `set -e`).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ORVEL_JOBS:-2}
logs=${ORVEL_CI_LOGS:-$PWD/out/ci}
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

# run_ctest BUILD_DIR [--no-skips] CTEST_ARGS...: runs ctest (an empty selection is an error)
# and appends "total failed skipped" to the summary. With --no-skips a skipped test fails.
run_ctest() {
  local dir=$1; shift
  local no_skips=0
  if [ "${1:-}" = --no-skips ]; then no_skips=1; shift; fi
  local out rc=0
  out=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure --no-tests=error "$@" 2>&1 | tee "$out" || rc=1
  local totals total failed skipped
  totals=$(sed -nE 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2 \1/p' "$out" | tail -n 1)
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \((Skipped|Disabled)\)$' "$out" || true)
  rm -f "$out"
  if [ -z "$totals" ]; then
    echo "run_ctest: no result line from ctest $*" >&2
    return 1
  fi
  read -r total failed <<<"$totals"
  echo "$total $failed $skipped" >>"$ORVEL_SUMMARY"
  if ((no_skips && skipped > 0)); then
    echo "run_ctest: $skipped test(s) skipped where they must run (ctest $*)" >&2
    return 1
  fi
  return $rc
}

stage_normal() {
  cmake -S . -B build -DORVEL_WERROR=ON >/dev/null
  cmake --build build -j"$jobs"
  cmake -DBUILD_DIR=build -P cmake/CheckTestProperties.cmake
  QT_QPA_PLATFORM=offscreen ORVEL_STAGE=normal_tests "${xvfb[@]}" bash "$0"
}

# Run on a virtual X display: the GUI tests offscreen; the OpenGL ones (label gl) on the X
# display with Mesa's software OpenGL, where they have a device, so a skip is a failure.
stage_normal_tests() {
  local rc=0
  run_ctest build -j"$jobs" -LE gl || rc=1
  run_ctest build --no-skips -L gl || rc=1
  return $rc
}

# Everything but the long sequences, the Qt front end included (offscreen; the OpenGL tests,
# which need a real X display, run in the normal stage only).
stage_asan() {
  cmake -S . -B build-asan -DORVEL_WERROR=ON -DORVEL_SANITIZE=address \
    -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
    run_ctest build-asan -j"$jobs" -LE "slow|gl"
}

# The tests labelled threads, among them the Qt cross-thread code (UiInvoker, the UI channel,
# the tree control) on the offscreen platform. No report is suppressed.
stage_tsan() {
  cmake -S . -B build-tsan -DORVEL_WERROR=ON -DORVEL_SANITIZE=thread \
    -DORVEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-tsan -j"$jobs" --target threads_tests
  TSAN_OPTIONS=halt_on_error=1 QT_QPA_PLATFORM=offscreen \
    run_ctest build-tsan -j"$jobs" -L threads
}

# Every listed target must be built and must run; a finding (a crash, a sanitizer report, a
# leak, an out-of-memory or a timeout) fails the stage and its whole report is printed.
stage_fuzz() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DORVEL_FUZZ=ON -DORVEL_BUILD_GUI=OFF \
    -DORVEL_BUILD_BENCH=OFF -DORVEL_BUILD_TOOLS=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzz_targets
  mkdir -p "$logs/fuzz"
  local work total=0 failed=0
  work=$(mktemp -d)
  while read -r name len; do
    [[ $name =~ ^[a-z0-9_]+$ ]] || continue
    total=$((total + 1))
    local bin=build-fuzz/fuzz/bin/fuzz_$name log=$logs/fuzz/$name.log rc=0
    if [ ! -x "$bin" ]; then
      echo "fuzz: $name: FAILED, not built"
      failed=$((failed + 1))
      continue
    fi
    mkdir -p "$work/$name"
    local seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    # New units go to a scratch folder; the seeds are read only.
    "$bin" -max_total_time="${ORVEL_FUZZ_SECONDS:-15}" -max_len="$len" -rss_limit_mb=2048 \
      -timeout=30 -print_final_stats=1 -artifact_prefix="$work/$name-" \
      "$work/$name" "${seeds[@]}" >"$log" 2>&1 || rc=$?
    local runs
    runs=$(sed -nE 's/^stat::number_of_executed_units: ([0-9]+)/\1/p' "$log" | tail -n 1)
    if [ "$rc" -ne 0 ] || [ -z "$runs" ] || [ "$runs" -eq 0 ]; then
      echo "fuzz: $name: FAILED (exit $rc, ${runs:-no} runs); its whole output:"
      cat "$log"
      failed=$((failed + 1))
    else
      echo "fuzz: $name: ok, $runs runs, $(grep -cE '' <(ls "$work/$name")) new units"
    fi
  done <fuzz/targets.txt
  rm -rf "$work"
  echo "$total $failed 0" >>"$ORVEL_SUMMARY"
  if ((total == 0)); then
    echo "fuzz: fuzz/targets.txt lists no target" >&2
    return 1
  fi
  return $((failed > 0))
}

# A child run: one stage, with errexit in force for every step.
if [ -n "${ORVEL_STAGE:-}" ]; then
  "stage_$ORVEL_STAGE"
  exit 0
fi

bash scripts/install-deps.sh
stages=${ORVEL_STAGES:-"normal asan tsan fuzz"}
mkdir -p "$logs"
ORVEL_SUMMARY=$(mktemp)
export ORVEL_SUMMARY
trap 'rm -f "$ORVEL_SUMMARY"' EXIT

failed_stages=()
for s in $stages; do
  if [ "$s" = normal_tests ] || ! declare -F "stage_$s" >/dev/null; then
    echo "unknown stage: $s" >&2
    failed_stages+=("$s")
    continue
  fi
  echo "=== stage: $s ==="
  start=$SECONDS
  if ORVEL_STAGE=$s bash "$0"; then
    echo "=== stage $s: ok ($((SECONDS - start)) s) ==="
  else
    echo "=== stage $s: FAILED ($((SECONDS - start)) s) ==="
    failed_stages+=("$s")
  fi
done

# One closing line over every stage: "N passed, N failed, N skipped" (a failed stage counts
# as one failure more, whatever its tests did).
total=0 bad=0 skipped=0
while read -r n f k; do
  total=$((total + n)) bad=$((bad + f)) skipped=$((skipped + k))
done <"$ORVEL_SUMMARY"
passed=$((total - bad - skipped))
if ((${#failed_stages[@]})); then
  echo "FAILED stages: ${failed_stages[*]}"
  echo "tests: $passed passed, $((bad + ${#failed_stages[@]})) failed, $skipped skipped"
  exit 1
fi
echo "all test stages passed"
echo "tests: $passed passed, $bad failed, $skipped skipped"
