#!/usr/bin/env bash
# The replay page in a real browser, as CI runs it: installs Chromium if missing, builds the
# debug preset's korvan-sim (and with it the page), flies the default ascent twice (dt 0.01 s,
# and dt 0.02 s as the run to compare with), then drives headless Chromium through
# web/test/replay.test.mjs. Screenshots land in build/browser-test/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh browser
cmake --preset debug >/dev/null
cmake --build --preset debug --target korvan-sim
out=$PWD/build/browser-test
rm -rf "$out"
mkdir -p "$out"
build/debug/bin/korvan-sim --out "$out/ascent" >"$out/ascent.log" &
first=$!
build/debug/bin/korvan-sim --out "$out/ascent-dt0.02" --dt 0.02 >"$out/ascent-dt0.02.log"
wait "$first"
cd web
KORVAN_RUN="$out/ascent" KORVAN_COMPARE="$out/ascent-dt0.02" KORVAN_SHOTS="$out/screenshots" node --test test/replay.test.mjs
echo "Screenshots: $out/screenshots"
