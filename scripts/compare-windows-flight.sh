#!/usr/bin/env bash
# Flies the built-in default ascent with the Linux build's korvan-sim and with the Windows
# build's korvan-sim.exe under Wine, and compares the two flights: the same events in the
# same order, the same end and the same final orbit (apoapsis and periapsis within 0.1 km,
# inclination within 0.01 deg). Floating-point libraries differ, so the bits may too.
# Needs the windows preset built; builds what it needs of the Linux preset
# (KORVAN_LINUX_PRESET, default debug). Runs go to build/windows/flights/.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_preset="${KORVAN_LINUX_PRESET:-debug}"
cmake --preset "$linux_preset" >/dev/null
cmake --build --preset "$linux_preset" --target korvan-sim korvan-compare
runs=build/windows/flights
rm -rf "$runs"
mkdir -p "$runs"
fly() {  # name, command...
  local name=$1
  shift
  local start=$SECONDS
  "$@" --out "$runs/$name" >"$runs/$name.txt"
  echo "$name flight: $((SECONDS - start)) s, report in $runs/$name.txt"
}
fly linux "build/$linux_preset/bin/korvan-sim"
fly windows build/windows/wine-run.sh build/windows/bin/korvan-sim.exe
"build/$linux_preset/bin/korvan-compare" "$runs/linux" "$runs/windows"
