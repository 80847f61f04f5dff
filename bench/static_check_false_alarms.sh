#!/usr/bin/env bash
# How often the static check fails a point that stood still (false alarms) and passes one that moved (misses), on
# simulated sessions of many seeds with time-correlated code errors (first-order Gauss-Markov, 120 s, standard
# deviation sqrt(0.2² + (0.3 / sin e)²) m per receiver and satellite, besides the white 0.5 m).
#
#   bench/static_check_false_alarms.sh [--runs N] [--build DIR] [--long]
#
# Prints a Markdown table: per scenario the runs, the failed checks and the largest statistic over its critical
# value (each run's line goes to standard error as it ends). --long adds the 24 h sessions at 1 s.
set -euo pipefail
runs=100 build=build long=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --long) long=1; shift ;;
    *) echo "usage: $0 [--runs N] [--build DIR] [--long]" >&2; exit 2 ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
varno=${VARNO:-$root/$build/varno}
sim=${VARNO_SIM:-$root/$build/tools/sim/varno-sim}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
correlated="--correlation-time=120 --correlated-noise=0.2,0.3"

row() {  # label, then the simulator's options
  local label=$1 failed=0 worst=0
  shift
  for seed in $(seq 1 "$runs"); do
    dir=$work/run
    rm -rf "$dir"
    "$sim" --seed="$seed" $correlated "$@" "$dir" >/dev/null
    (cd "$dir" && "$varno" -q --summary summary.json >/dev/null 2>&1) || { echo "varno failed on seed $seed" >&2; exit 1; }
    read -r passed ratio < <(python3 -c '
import json, sys
c = json.load(open(sys.argv[1]))["static_check"]
r = c["largest_statistic"] / c["critical_value"] if c["done"] else 0
print("1" if c["passed"] else "0", "%.3f" % r)' "$dir/summary.json")
    echo "$label seed $seed passed $passed statistic/critical $ratio" >&2
    [ "$passed" = 1 ] || failed=$((failed + 1))
    worst=$(python3 -c "print(max($worst, $ratio))")
  done
  printf '| %s | %d | %d | %.2f |\n' "$label" "$runs" "$failed" "$worst"
}

echo "| scenario | runs | checks failed | largest statistic / critical |"
echo "|---|---|---|---|"
row "static, 1 h at 1 s" --duration=3600 --interval=1
row "static, 1 h at 30 s" --duration=3600 --interval=30
row "static, 24 h at 30 s" --duration=86400 --interval=30
[ "$long" = 1 ] && row "static, 24 h at 1 s" --duration=86400 --interval=1
row "moved 5 m (stop-and-go), 1 h at 1 s" --duration=3600 --interval=1 --trajectory=stop-and-go --speed=0.05 --stop-go=1700,100
row "moved 5 m (stop-and-go), 1 h at 30 s" --duration=3600 --interval=30 --trajectory=stop-and-go --speed=0.05 --stop-go=1710,100
row "drive 10 m/s, 30 min at 1 s" --duration=1800 --interval=1 --trajectory=straight --speed=10
