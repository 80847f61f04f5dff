#!/usr/bin/env bash
# How often the static check fails a point that stood still (false alarms) and passes one that moved (misses), on
# simulated sessions of many seeds with time-correlated code errors (first-order Gauss-Markov, 120 s, standard
# deviation sqrt(0.2² + (0.3 / sin e)²) m per receiver and satellite, besides the white 0.5 m).
#
#   bench/static_check_false_alarms.sh [--runs N] [--build DIR] [--long] [--only TEXT]
#
# Prints a Markdown table: per scenario the runs, the failed checks and the largest statistic over its critical
# value (each run's line goes to standard error as it ends). --long adds the 24 h sessions at 1 s; --only runs
# the scenarios whose label holds TEXT.
set -euo pipefail
runs=100 build=build long=0 only=""
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --long) long=1; shift ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--build DIR] [--long] [--only TEXT]" >&2; exit 2 ;;
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
  case $label in *"$only"*) ;; *) return 0 ;; esac
  for seed in $(seq 1 "$runs"); do
    dir=$work/run
    rm -rf "$dir"
    "$sim" --seed="$seed" $correlated "$@" "$dir" >/dev/null
    (cd "$dir" && "$varno" -q --summary summary.json >/dev/null 2>&1) || { echo "varno failed on seed $seed" >&2; exit 1; }
    # The summary is pretty-printed: the check's members one a line inside "static_check".
    read -r passed ratio < <(awk '
      /"static_check"/ { inside = 1 }
      inside && /"passed"/ { passed = ($2 ~ /true/) }
      inside && /"critical_value"/ { critical = $2 + 0 }
      inside && /"largest_statistic"/ { statistic = $2 + 0 }
      END { printf "%d %.3f\n", passed, (critical > 0 ? statistic / critical : 0) }' "$dir/summary.json")
    echo "$label seed $seed passed $passed statistic/critical $ratio" >&2
    [ "$passed" = 1 ] || failed=$((failed + 1))
    worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a ? b : a) }')
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
