#!/usr/bin/env bash
# Fuzzing campaign: runs every target of fuzz/targets.txt (or those named) for SECONDS each,
# one process at a time, on a working corpus kept in out/fuzz/corpus/NAME (started from the
# repository's seeds), then merges that corpus down to the units that add coverage and reports
# per target: runs, executions per second, coverage (edges and features of the corpus before
# and after), corpus units and findings (crash, leak, out-of-memory and timeout inputs, kept in
# out/fuzz/findings/NAME). A finding does not stop the campaign (fork mode with one job).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      default 600 seconds per target
#   ORVEL_FUZZ_OUT=DIR   where corpora, findings, logs and the report go (default out/fuzz)
#   ORVEL_FUZZ_UPDATE_SEEDS=1   also merges the units that add coverage into fuzz/corpus/NAME
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-600}
shift || true
out=${ORVEL_FUZZ_OUT:-$root/out/fuzz}
jobs=${ORVEL_JOBS:-2}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DORVEL_FUZZ=ON -DORVEL_BUILD_GUI=OFF \
  -DORVEL_BUILD_BENCH=OFF -DORVEL_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_targets >/dev/null

declare -A max_len
targets=()
while read -r name len; do
  [[ $name =~ ^[a-z0-9_]+$ ]] || continue
  max_len[$name]=$len
  targets+=("$name")
done <fuzz/targets.txt
if (($#)); then targets=("$@"); fi

mkdir -p "$out"/{corpus,findings,logs}
report=$out/report.txt
printf '%-16s %10s %8s %15s %15s %7s %9s\n' target runs exec/s "cov before" "cov after" units findings | tee "$report"

# "cov: N ft: M" of a corpus as the target loads it.
corpus_coverage() {
  local bin=$1 len=$2; shift 2
  "$bin" -runs=0 -max_len="$len" -rss_limit_mb=4096 "$@" 2>&1 |
    sed -nE 's/.*INITED cov: ([0-9]+) ft: ([0-9]+).*/\1\/\2/p' | tail -n 1
}

status=0
for t in "${targets[@]}"; do
  bin=build-fuzz/fuzz/bin/fuzz_$t
  len=${max_len[$t]:-}
  if [ ! -x "$bin" ] || [ -z "$len" ]; then
    echo "fuzz.sh: $t is not a built target of fuzz/targets.txt" >&2
    status=1
    continue
  fi
  work=$out/corpus/$t
  findings=$out/findings/$t
  log=$out/logs/$t.log
  mkdir -p "$work" "$findings"
  seeds=fuzz/corpus/$t
  [ -d "$seeds" ] || seeds=$(mktemp -d)
  before=$(corpus_coverage "$bin" "$len" "$seeds")
  # One job at a time; findings are kept and the run goes on.
  "$bin" -fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
    -max_total_time="$seconds" -max_len="$len" -rss_limit_mb=2048 -timeout=30 \
    -artifact_prefix="$findings/" "$work" "$seeds" >"$log" 2>&1 || true
  # The corpus kept: the units of the seeds and of this run that add coverage.
  merged=$(mktemp -d)
  "$bin" -merge=1 -max_len="$len" -rss_limit_mb=4096 "$merged" "$work" "$seeds" >>"$log" 2>&1 || true
  if [ -n "$(ls -A "$merged")" ]; then
    rm -rf "$work"
    mv "$merged" "$work"
  else
    rm -rf "$merged"
  fi
  if [ "${ORVEL_FUZZ_UPDATE_SEEDS:-0}" = 1 ] && [ -d "fuzz/corpus/$t" ]; then
    "$bin" -merge=1 -max_len="$len" "fuzz/corpus/$t" "$work" >>"$log" 2>&1 || true
  fi
  after=$(corpus_coverage "$bin" "$len" "$work")
  # Fork mode's progress lines: "#RUNS: cov: .. exec/s E .. time: Ts job: ..".
  last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || true)
  runs=$(sed -nE 's/^#([0-9]+):.*/\1/p' <<<"$last")
  elapsed=$(sed -nE 's/.* time: ([0-9]+)s.*/\1/p' <<<"$last")
  rate=0
  if [ -n "$runs" ] && [ -n "$elapsed" ] && [ "$elapsed" -gt 0 ]; then rate=$((runs / elapsed)); fi
  found=$(find "$findings" -type f | wc -l)
  units=$(find "$work" -type f | wc -l)
  printf '%-16s %10s %8s %15s %15s %7s %9s\n' "$t" "${runs:-0}" "${rate:-0}" "${before:-?}" \
    "${after:-?}" "$units" "$found" | tee -a "$report"
  if [ -z "$runs" ] || [ "$runs" -eq 0 ]; then
    echo "fuzz.sh: $t did not run (see $log)" >&2
    status=1
  fi
  if [ "$found" -gt 0 ]; then status=1; fi
done
echo "report: $report (coverage: edges/features of the corpus as loaded; findings in $out/findings)"
exit $status
