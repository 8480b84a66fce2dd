#!/usr/bin/env bash
# The main job: installs what is missing, builds the release preset, flies the built-in
# default ascent (the Korvan from the runway to orbit and one revolution in it), prints its
# summary with the final orbit, draws the flight chart and turns the HUD frames into PNG
# pictures. korvan-sim leaves beside them the replay page (replay.html with replay-data.js and
# replay-model.js), flight.acmi and flight.czml.
# Extra arguments go to korvan-sim (for instance a scenario file, --script, --until 900).
# KORVAN_OUT chooses the output folder (default out/ascent).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
out="${KORVAN_OUT:-$PWD/out/ascent}"
mkdir -p "$out"
build/release/bin/korvan-sim --out "$out" "$@"
# The chart's ascent panels end a little after the main-engine cut-off, when there is one.
cutoff=$(jq -r '[.events[] | select(.name == "cutoff") | .time_s][0] // empty' "$out/summary.json")
ascent_end=""
[ -n "$cutoff" ] && ascent_end="; ascent_end=$cutoff + 100"
gnuplot -e "telemetry='$out/telemetry.csv'; chart='$out/ascent.png'$ascent_end" scripts/ascent-chart.gp
for svg in "$out"/*.svg; do
  [ -e "$svg" ] || continue
  rsvg-convert --background-color=black -o "${svg%.svg}.png" "$svg"
done
echo "Outputs in $out:"
echo "  telemetry.csv, summary.json, final.scn, ascent.png (chart), HUD frames (*.svg and *.png)"
echo "  replay.html (open it in a browser: file://$out/replay.html), flight.acmi (Tacview, OpenACMI),"
echo "  flight.czml (CesiumJS)"
