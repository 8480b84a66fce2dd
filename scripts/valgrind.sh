#!/usr/bin/env bash
# Flies the default flight's first minute and a separation scenario under valgrind's memcheck
# (debug build): any memory error or leak fails. The same runs are CTest's "valgrind" label.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset debug >/dev/null
cmake --build --preset debug --target korvan-sim
ctest --preset valgrind
