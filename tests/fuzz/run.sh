#!/usr/bin/env bash
# Runs every fuzz target (or those named) for a bounded time each, starting from the seed corpus
# in tests/fuzz/corpus/<target>. New inputs go to <build>/fuzz-corpus/<target>; an input that
# crashes or breaks a property is saved in <build>/fuzz-findings and fails the run.
#   tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
set -uo pipefail
build=${1:?build folder}
seconds=${2:?seconds per target}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < "$build/tests/fuzz/fuzzers.txt"
fi
findings="$build/fuzz-findings"
mkdir -p "$findings"
failed=0
for t in "${targets[@]}"; do
  [ -n "$t" ] || continue
  corpus="$build/fuzz-corpus/$t"
  log="$build/fuzz-$t.log"
  mkdir -p "$corpus"
  # -timeout: an input that takes seconds is a hang, which is a finding too.
  "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$t-" "$corpus" "$here/corpus/$t" \
    > "$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $status -eq 0 ]; then
    echo "$t: ${runs:-?} runs in ${seconds} s, no finding"
  else
    echo "$t: FINDING after ${runs:-?} runs (exit $status); see $log"
    grep -E "ERROR|SUMMARY|property broken|Test unit written" "$log" | head -8
    failed=1
  fi
done
exit $failed
