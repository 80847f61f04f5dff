#!/usr/bin/env bash
# Starts a one-machine Slurm cluster with Debian's slurm-wlm and munge, so that 'varno-campaign run --slurm
# --submit' can be tried for real on this machine. Run as root. It writes /etc/slurm/slurm.conf only when there is
# none (or with FORCE=1, keeping the old one as slurm.conf.before-varno), makes a munge key only when there is
# none, and starts munged, slurmctld and slurmd unless they already run. 'scripts/slurm-single-node.sh stop'
# stops the two Slurm daemons it started.
set -euo pipefail

if [ "${1:-}" = "stop" ]; then
  for daemon in slurmd slurmctld; do
    [ -f "/run/varno-$daemon.pid" ] && kill "$(cat "/run/varno-$daemon.pid")" 2>/dev/null || true
    rm -f "/run/varno-$daemon.pid"
  done
  exit 0
fi
[ "$(id -u)" -eq 0 ] || { echo "slurm-single-node: run as root (it starts system daemons)" >&2; exit 1; }
for program in munged slurmctld slurmd sbatch sinfo; do
  command -v "$program" >/dev/null 2>&1 || PATH=$PATH:/usr/sbin
  command -v "$program" >/dev/null 2>&1 || {
    echo "slurm-single-node: $program not found; install it: apt-get install slurm-wlm munge" >&2; exit 1; }
done

host=$(hostname -s)
cpus=$(nproc)
memory=$(awk '/MemTotal/ { print int($2 / 1024 * 0.9) }' /proc/meminfo)
mkdir -p /etc/munge /var/lib/munge /var/log/munge /run/munge /etc/slurm /var/spool/slurmctld /var/spool/slurmd \
         /var/log/slurm
if [ ! -s /etc/munge/munge.key ]; then
  dd if=/dev/urandom of=/etc/munge/munge.key bs=1024 count=1 status=none
fi
chown -R munge:munge /etc/munge /var/lib/munge /var/log/munge /run/munge
chmod 0700 /etc/munge
chmod 0400 /etc/munge/munge.key
pgrep -x munged >/dev/null || runuser -u munge -- munged

conf=/etc/slurm/slurm.conf
if [ -e "$conf" ] && [ "${FORCE:-0}" != 1 ]; then
  echo "slurm-single-node: $conf exists; using it (FORCE=1 writes a one-node one, keeping the old)" >&2
else
  [ -e "$conf" ] && cp "$conf" "$conf.before-varno"
  cat > "$conf" <<CONF
# One-node cluster written by varno's scripts/slurm-single-node.sh
ClusterName=varno
SlurmctldHost=$host
SlurmUser=root
AuthType=auth/munge
StateSaveLocation=/var/spool/slurmctld
SlurmdSpoolDir=/var/spool/slurmd
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
SlurmctldLogFile=/var/log/slurm/slurmctld.log
SlurmdLogFile=/var/log/slurm/slurmd.log
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
fi
if ! pgrep -x slurmctld >/dev/null; then
  slurmctld -i
  pgrep -n -x slurmctld > /run/varno-slurmctld.pid
fi
if ! pgrep -x slurmd >/dev/null; then
  slurmd
  pgrep -n -x slurmd > /run/varno-slurmd.pid
fi
for _ in $(seq 60); do
  state=$(sinfo -h -o %T 2>/dev/null | head -1 || true)
  case "$state" in idle*|mixed*|allocated*) echo "slurm-single-node: node $host is $state"; exit 0;; esac
  sleep 1
done
echo "slurm-single-node: the node did not come up; see /var/log/slurm/*.log" >&2
exit 1
