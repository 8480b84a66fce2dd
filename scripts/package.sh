#!/usr/bin/env bash
# Builds the Windows add-on: cross-builds the module, the message link, the host runtime
# and korvan-sim.exe (windows preset), generates the vessel's mesh, textures and sounds, and
# packs them all with the class files and the scenario into build/windows/package/Korvan-<version>-win64.zip, laid out as the
# simulator's folders, with the install note Korvan_install.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target Korvan cvelmessage korvan_host korvan-sim korvan_vessel_data
cpack --preset windows >/dev/null
zip_file=$(ls -t build/windows/package/Korvan-*-win64.zip | head -n 1)
echo "Package: $zip_file"
