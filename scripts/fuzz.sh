#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang) and runs each in turn for SECONDS
# (default 20: the smoke that ./test runs), from a corpus seeded with the example logs and
# kept in build/fuzz/corpus/TARGET, so that a later run goes on where the last one ended.
# A finding stops the run with its input in build/fuzz/findings/TARGET.
#   scripts/fuzz.sh                  every target for 20 s
#   scripts/fuzz.sh 14400 LogReader  one target for four hours
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(LogReader Header TagParser Conversions FieldSplitter QueryGuard)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null

for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target findings=build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  cp -n examples/logs/*.xml "$corpus"/
  echo "== fuzz_$target for ${seconds} s"
  if ! build/fuzz/fuzz_$target "$corpus" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1 \
      >"$findings/last-run.log" 2>&1; then
    tail -n 40 "$findings/last-run.log"
    echo "fuzz_$target found a fault; the input is in $findings" >&2
    exit 1
  fi
  grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$findings/last-run.log" |
    tr '\n' ' '
  echo
done
