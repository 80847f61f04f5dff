#!/usr/bin/env bash
# How far the formal precision of the summary can be trusted: on simulated noise-only runs with different seeds,
# the ratio of the actual error of point 2 (against the simulator's truth) to its formal sigma, per component.
# Ideal: rms of the ratios 1, 68 % of them within 1 sigma.
#
#   bench/calibrate_precision.sh [--runs N] [--build DIR] [--update-readme]
#
# Prints a Markdown table; with --update-readme it replaces the table between the calibration markers of
# README.md. Scenarios: the default 2 km one (2 h at 30 s), the same at 1 s, and 20 minutes at 30 s.
set -euo pipefail
runs=30 build=build update=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --update-readme) update=1; shift ;;
    *) echo "usage: $0 [--runs N] [--build DIR] [--update-readme]" >&2; exit 2 ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
varno=${VARNO:-$root/$build/varno}
sim=${VARNO_SIM:-$root/$build/tools/sim/varno-sim}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per run: the errors of X Y Z N E U divided by their sigmas.
ratios() {  # scenario options...
  for seed in $(seq 1 "$runs"); do
    dir=$work/run-$seed
    rm -rf "$dir"
    "$sim" --seed="$seed" "$@" "$dir" >/dev/null
    (cd "$dir" && "$varno" --summary summary.json >/dev/null 2>&1) || { echo "varno failed on seed $seed" >&2; exit 1; }
    awk '
      FILENAME ~ /truth$/ && $1 == "point2" { tx = $3; ty = $4; tz = $5 }
      FILENAME ~ /json$/ {
        if ($0 ~ /^  "[a-z0-9_]+": [{]/) { section = $1; gsub(/[":]/, "", section) }
        key = $1; gsub(/[":]/, "", key); value = $2; gsub(/,/, "", value)
        v[section "." key] = value
      }
      END {
        d2r = atan2(1, 1) / 45
        dx = v["point2.x_m"] - tx; dy = v["point2.y_m"] - ty; dz = v["point2.z_m"] - tz
        la = v["point2.latitude_deg"] * d2r; lo = v["point2.longitude_deg"] * d2r
        n = -sin(la) * cos(lo) * dx - sin(la) * sin(lo) * dy + cos(la) * dz
        e = -sin(lo) * dx + cos(lo) * dy
        u = cos(la) * cos(lo) * dx + cos(la) * sin(lo) * dy + sin(la) * dz
        printf "%.6f %.6f %.6f %.6f %.6f %.6f\n", dx / v["precision.sigma_x_m"], dy / v["precision.sigma_y_m"],
               dz / v["precision.sigma_z_m"], n / v["precision.sigma_north_m"], e / v["precision.sigma_east_m"],
               u / v["precision.sigma_up_m"]
      }' "$dir/truth" "$dir/summary.json"
  done
}

row() {  # label, then the ratio lines on standard input
  awk -v label="$1" '
    { for (i = 1; i <= 6; i++) { s[i] += $i * $i; if ($i < 1 && $i > -1) w[i]++ } n++ }
    END {
      printf "| %s | %d |", label, n
      for (i = 1; i <= 6; i++) printf " %.2f (%d%%) |", sqrt(s[i] / n), 100 * w[i] / n + 0.5
      printf "\n"
    }'
}

table=$(
  echo "| scenario | runs | X | Y | Z | north | east | up |"
  echo "|---|---|---|---|---|---|---|---|"
  ratios | row "2 km, 2 h at 30 s, code noise 0.5 m"
  ratios --interval=1 | row "2 km, 2 h at 1 s, code noise 0.5 m"
  ratios --duration=1200 | row "2 km, 20 min at 30 s, code noise 0.5 m"
)
echo "Rms of error / sigma per component (in brackets: share of runs within 1 sigma; ideal 1.00 and 68%)."
echo "$table"

if [ "$update" = 1 ]; then
  readme=$root/README.md
  grep -q '<!-- calibration:begin -->' "$readme" || { echo "no calibration markers in $readme" >&2; exit 1; }
  awk -v table="$table" '
    /<!-- calibration:begin -->/ { print; print table; skip = 1; next }
    /<!-- calibration:end -->/ { skip = 0 }
    !skip' "$readme" >"$work/README.md"
  cp "$work/README.md" "$readme"
  echo "README.md updated"
fi
