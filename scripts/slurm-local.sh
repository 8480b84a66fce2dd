#!/usr/bin/env bash
# A real single-node Slurm cluster on this machine, from Debian's slurmctld, slurmd,
# slurm-client and munge, started as plain processes (no systemd), for korvan-campaign's
# Slurm engine:
#   bash scripts/slurm-local.sh start     installs what is missing, starts munged, slurmctld, slurmd
#   bash scripts/slurm-local.sh stop
#   bash scripts/slurm-local.sh status
# Runs as root (slurmd starts each job as its user). Its state, logs and munge key live in
# build/slurm-local (KORVAN_SLURM_STATE sets another folder); the configuration is
# scripts/slurm-local/slurm.conf.in. The Slurm commands find the cluster through
#   export SLURM_CONF=build/slurm-local/slurm.conf   (start prints the whole path)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
state=${KORVAN_SLURM_STATE:-$repo/build/slurm-local}
conf=$state/slurm.conf
socket=$state/munge/munge.socket
export SLURM_CONF=$conf

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

start() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "slurm-local: run as root (sudo bash scripts/slurm-local.sh start): slurmd starts jobs as their users" >&2
    exit 1
  fi
  bash "$repo/scripts/setup.sh" slurm
  if alive "$state/slurmctld.pid" && alive "$state/slurmd.pid"; then
    echo "slurm-local: already running; export SLURM_CONF=$conf"
    return
  fi
  mkdir -p "$state/munge" "$state/slurmctld" "$state/slurmd"
  # munged checks that no one else can write where its key and socket are.
  chmod 711 "$state" "$state/munge"
  if [ ! -s "$state/munge/munge.key" ]; then
    dd if=/dev/urandom of="$state/munge/munge.key" bs=1024 count=1 status=none
  fi
  chmod 600 "$state/munge/munge.key"
  if ! alive "$state/munge/munged.pid"; then
    munged --force --socket="$socket" --key-file="$state/munge/munge.key" --pid-file="$state/munge/munged.pid" \
      --log-file="$state/munge/munged.log" --seed-file="$state/munge/munged.seed"
  fi
  sed -e "s|@STATE@|$state|g" -e "s|@CPUS@|$(nproc)|g" "$repo/scripts/slurm-local/slurm.conf.in" > "$conf"
  # A fresh start: jobs of an earlier cluster are forgotten.
  slurmctld -c
  slurmd -N korvan
  for _ in $(seq 60); do
    if sinfo --noheader --nodes=korvan --format=%t 2>/dev/null | grep -qx idle; then
      echo "slurm-local: running ($(nproc) CPUs, partition \"campaign\"); export SLURM_CONF=$conf"
      return
    fi
    sleep 0.5
  done
  echo "slurm-local: the node did not come up; logs in $state" >&2
  tail -n 20 "$state/slurmctld.log" "$state/slurmd.log" >&2 || true
  exit 1
}

stop() {
  if alive "$state/slurmctld.pid"; then scontrol shutdown >/dev/null 2>&1 || true; fi
  for pidfile in "$state/slurmd.pid" "$state/slurmctld.pid"; do
    for _ in $(seq 40); do alive "$pidfile" || break; sleep 0.25; done
    if alive "$pidfile"; then kill "$(cat "$pidfile")"; fi
  done
  if alive "$state/munge/munged.pid"; then munged --stop --socket="$socket" >/dev/null 2>&1 || kill "$(cat "$state/munge/munged.pid")"; fi
  echo "slurm-local: stopped"
}

status() {
  if alive "$state/slurmctld.pid" && alive "$state/slurmd.pid"; then
    sinfo
  else
    echo "slurm-local: not running"
    return 1
  fi
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) status ;;
  *) echo "usage: bash scripts/slurm-local.sh start|stop|status" >&2; exit 2 ;;
esac
