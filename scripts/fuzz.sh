#!/usr/bin/env bash
# Fuzzes each target of tests/fuzz for SECONDS (default 600) on every core, one target after
# another, then prints each target's executions and findings. Exits 1 when anything was found.
#
#   bash scripts/fuzz.sh [SECONDS]
#
# Works in build/fuzz/campaign/<target>/: the corpus that campaigns grow (beside the seeds and
# regression cases they start from), and this campaign's logs and findings/, every input that
# crashed, leaked, hung or ran out of memory. Replay one with
#   build/fuzz/tests/fuzz/fuzz_<target> FILE
# and, once its fault is mended, keep it in tests/fuzz/regressions/<target>/ so that CTest
# replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bash scripts/fuzz.sh [SECONDS per target, default 600]" >&2
  exit 2
fi
targets=(scenario vessel_block messages azimuth_entry script class_config)
declare -A max_len=([azimuth_entry]=64)  # bytes; 8192 for the others
timeout_s=10        # an input that runs longer has hung (a frozen clock)
rss_limit_mb=2048

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

root=$PWD
campaign=$root/build/fuzz/campaign
cores=$(nproc)
total_found=0
total_executions=0
summary=()
for target in "${targets[@]}"; do
  work=$campaign/$target
  # The corpus grows from campaign to campaign; findings and logs are this campaign's.
  rm -rf "$work/findings" "$work/logs"
  mkdir -p "$work/corpus" "$work/findings" "$work/logs"
  seeds=("$root/tests/fuzz/corpus/$target")
  [ -d "$root/tests/fuzz/regressions/$target" ] && seeds+=("$root/tests/fuzz/regressions/$target")
  echo "== $target: ${seconds} s on $cores core(s)"
  # The engine's workers write their logs (and anything the vessels log) in the work folder.
  (cd "$work/logs" &&
    "$root/build/fuzz/tests/fuzz/fuzz_$target" -jobs="$cores" -workers="$cores" -max_total_time="$seconds" \
      -print_final_stats=1 -print_funcs=0 -timeout="$timeout_s" -rss_limit_mb="$rss_limit_mb" -max_len="${max_len[$target]:-8192}" \
      -dict="$root/tests/fuzz/dict/$target.dict" -artifact_prefix="$work/findings/" \
      "$work/corpus" "${seeds[@]}" >/dev/null 2>&1) || true
  executions=0
  for log in "$work"/logs/fuzz-*.log; do
    [ -f "$log" ] || continue
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ -z "$n" ]; then  # a worker stopped by a finding: its last progress line
      n=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
    fi
    executions=$((executions + ${n:-0}))
  done
  total_executions=$((total_executions + executions))
  found=$(find "$work/findings" -type f | wc -l)
  total_found=$((total_found + found))
  summary+=("$(printf '%-14s %12d executions %4d findings' "$target" "$executions" "$found")")
  find "$work/findings" -type f -printf '   finding: %p\n'
done

echo "== fuzzing, $seconds s per target"
printf '%s\n' "${summary[@]}"
printf '%-14s %12d executions %4d findings\n' "all" "$total_executions" "$total_found"
if [ "$total_found" -gt 0 ]; then
  echo "findings: $total_found (see the paths above; the logs are in $campaign/<target>/logs)"
  exit 1
fi
