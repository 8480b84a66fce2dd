#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, test and fly Korvan.
# "bash scripts/setup.sh windows" adds the Windows build's tools: the MinGW-w64 cross
# compiler and Wine to run its programs; "bash scripts/setup.sh browser" adds Chromium, in
# which the replay page is tested; "bash scripts/setup.sh slurm" adds Slurm and munge for the
# single-node cluster of scripts/slurm-local.sh. Node and npm bundle the replay page at build time.
set -euo pipefail

packages=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev libfmt-dev libtomlplusplus-dev gnuplot-nox librsvg2-bin jq
          libstb-dev libsndfile1-dev libtinygltf-dev
          clang libclang-rt-dev valgrind nodejs)
# Some machines' nodejs package brings npm itself; Debian's does not.
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64)
fi
if [ "${1:-}" = browser ]; then
  packages+=(chromium)
fi
if [ "${1:-}" = slurm ]; then
  packages+=(slurmctld slurmd slurm-client munge)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
