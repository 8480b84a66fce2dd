#!/usr/bin/env bash
# The main job: installs what is missing, builds the release preset, flies the Korvan from
# the runway with the shipped ascent scenario and script, prints the summary and draws the
# ascent chart. Extra arguments go to korvan-sim (for instance --until 1200).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
out="${KORVAN_OUT:-$PWD/out/ascent}"
mkdir -p "$out"
build/release/bin/korvan-sim Scenarios/Korvan/Runway.scn --script Scenarios/Korvan/ascent.txt \
  --until 900 --out "$out" "$@"
gnuplot -e "telemetry='$out/telemetry.csv'; chart='$out/ascent.png'" scripts/ascent-chart.gp
echo "Summary ($out/summary.json):"
cat "$out/summary.json" | head -c 4000
echo
echo "Outputs in $out: telemetry.csv, summary.json, final.scn, ascent.png, HUD frames (*.svg)"
