#!/usr/bin/env bash
# The Slurm stage of CI: a real single-node cluster (scripts/slurm-local.sh) runs the example
# campaign (campaigns/ascent.toml, 24 dispersed flights of 700 s) as a job array. Its
# results.csv must equal, byte for byte, the local engine's with one job and with two, and the
# dispersed values must reach the flights: the inclination falls as the launch azimuth rises,
# the propellant left rises with the fuel load.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh slurm
cmake --preset debug >/dev/null
cmake --build --preset debug --target korvan-sim korvan-campaign
campaign=build/debug/bin/korvan-campaign
out=build/debug/campaign-check
rm -rf "$out"

bash scripts/slurm-local.sh start
trap 'bash scripts/slurm-local.sh stop' EXIT
export SLURM_CONF=$PWD/build/slurm-local/slurm.conf

"$campaign" run campaigns/ascent.toml --out "$out/one" --jobs 1
"$campaign" run campaigns/ascent.toml --out "$out/two" --jobs 2
"$campaign" run campaigns/ascent.toml --out "$out/slurm" --engine slurm --jobs 2
cmp "$out/one/results.csv" "$out/two/results.csv"
cmp "$out/one/results.csv" "$out/slurm/results.csv"
echo "results.csv: the same bytes with 1 job, 2 jobs and on Slurm"

# Pearson's r of two columns of results.csv, by their names.
correlation() {
  awk -F, -v x="$1" -v y="$2" '
    NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    { a = $col[x]; b = $col[y]; n++; sa += a; sb += b; saa += a * a; sbb += b * b; sab += a * b }
    END { print (n * sab - sa * sb) / sqrt((n * saa - sa * sa) * (n * sbb - sb * sb)) }' "$out/slurm/results.csv"
}
r_inclination=$(correlation azimuth inclination_deg)
r_propellant=$(correlation fuel propellant_kg)
echo "r(azimuth, inclination) = $r_inclination, r(fuel, propellant left) = $r_propellant"
awk -v a="$r_inclination" -v b="$r_propellant" 'BEGIN { exit !(a < -0.9 && b > 0.5) }'
