#!/bin/sh
# One case of a korvan-campaign as a Slurm array task: the case's own command.sh within its
# time limit, once more if it fails or runs out of time, then its record, written whole.
# Arguments: the campaign folder, the file that lists the cases (task i runs the case on line
# i + 1), the digits of a case folder's name, the time limit in seconds.
set -u
campaign=$1 list=$2 digits=$3 limit=$4
# A cancelled task leaves no record: resume runs its case again.
trap 'exit 143' TERM INT
number=$(sed -n "$((SLURM_ARRAY_TASK_ID + 1))p" "$list")
dir=$(printf "%s/cases/%0${digits}d" "$campaign" "$number")
attempt=1
while :; do
  rm -f "$dir/summary.json"
  start=$(date +%s)
  # --foreground keeps the flight in the task's process group, where a cancel's signals reach
  # it on a cluster that tracks tasks by group; command.sh execs korvan-sim, so nothing escapes.
  timeout --foreground -k 10 "$limit" sh "$dir/command.sh" > "$dir/korvan-sim.log" 2>&1
  code=$?
  status=failed
  if [ "$code" -eq 0 ]; then
    status=ok
  elif [ "$code" -eq 124 ] || { [ "$code" -eq 137 ] && [ $(($(date +%s) - start)) -ge "$limit" ]; }; then
    status=timeout code=124
  fi
  if [ "$status" = ok ] || [ "$attempt" -ge 2 ]; then break; fi
  attempt=$((attempt + 1))
done
printf 'status=%s exit_code=%d attempts=%d\n' "$status" "$code" "$attempt" > "$dir/record.tmp" &&
  mv "$dir/record.tmp" "$dir/record"
