#!/usr/bin/env bash
# Builds the debug (warnings as errors) and the sanitizer presets and runs every test on both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in ${KORVAN_TEST_PRESETS:-debug asan}; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset"
done
