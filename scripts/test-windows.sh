#!/usr/bin/env bash
# The Windows stage: installs the MinGW-w64 cross compiler and Wine, cross-builds the
# windows preset, runs every test under Wine, flies the default ascent with the Linux and
# the Windows build and compares the flights, then packs the add-on and flies a short run
# from the unpacked zip (without the build's DLL path, so that a file missing from the
# package shows). Prints the time of each step.
set -euo pipefail
cd "$(dirname "$0")/.."
stage_start=$SECONDS
step() {
  echo "== windows: $1 (after $((SECONDS - stage_start)) s)"
}

step "install what is missing"
bash scripts/setup.sh windows
step "configure and build"
cmake --preset windows >/dev/null
cmake --build --preset windows
step "tests under Wine"
wine_run=build/windows/wine-run.sh
"$wine_run" --start-server
trap '"$wine_run" --stop-server 2>/dev/null || true' EXIT
ctest --preset windows
step "the default ascent on Linux and on Windows"
bash scripts/compare-windows-flight.sh
step "the add-on package"
bash scripts/package.sh
unpacked=build/windows/package/unpacked
rm -rf "$unpacked"
mkdir -p "$unpacked"
zip_file=$(ls -t build/windows/package/Korvan-*-win64.zip | head -n 1)
(cd "$unpacked" && cmake -E tar xf "$OLDPWD/$zip_file")
# It carries the generated mesh, textures and sounds, not stand-ins.
for f in Meshes/Korvan.msh Meshes/Korvan.glb Meshes/Korvan.obj Textures/Korvan_hull.dds Sound/Korvan/gear.wav \
         Sound/Korvan/stg2sep.wav Sound/Korvan/fasep.wav Sound/Korvan/jet.wav Korvan-shared/Meshes/dummy.msh \
         Korvan-shared/Textures/Exhaust_atsme.dds Korvan-shared/Textures/exhaust_atrcs.dds Korvan-shared/Textures/Contrail2.dds; do
  [ "$(stat -c %s "$unpacked/$f")" -gt 800 ] || { echo "package: $f missing or a stand-in"; exit 1; }
done
head -n 1 "$unpacked/Meshes/Korvan.msh" | grep -q '^MSHX1' || { echo "package: Meshes/Korvan.msh is no mesh"; exit 1; }
(cd "$unpacked" && WINEPREFIX="$OLDPWD/build/windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
   wine korvan-sim.exe --stop-on liftoff --out out/check >out-check.txt)
# It flew the unpacked folder, not the build's run tree.
grep -q '"stop_event": "liftoff"' "$unpacked/out/check/summary.json"
grep -q '"root": "[A-Z]:.*package.*unpacked' "$unpacked/out/check/summary.json"
echo "The unpacked package flies: $unpacked/out-check.txt"
echo "== windows: done in $((SECONDS - stage_start)) s"
