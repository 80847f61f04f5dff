#!/usr/bin/env bash
# Campaign benchmark: a simulated network of N stations (default 200) observed for H hours (default 24) at 30 s,
# gzip-compressed observation files and a precise orbit, planned as a shortest spanning tree, run through GNU
# parallel with J jobs at once (default: one per processor), then adjusted. Prints baselines per second, the time
# of the adjustment and the peak memory (maximum resident set) of one varno job and of the adjustment.
# Usage: bench/campaign_bench.sh BUILD-DIR [N] [H] [J]      (the work folder is BUILD-DIR/bench-campaign)
set -euo pipefail
build=$(cd "${1:?usage: campaign_bench.sh BUILD-DIR [N] [H] [J]}" && pwd)
stations=${2:-200}
hours=${3:-24}
jobs=${4:-$(nproc)}
work=$build/bench-campaign
rm -rf "$work"
mkdir -p "$work"
cd "$work"

seconds() { date +%s.%N; }
peak_kib() { awk '/Maximum resident set size/ { print $NF }' "$1"; }

start=$(seconds)
"$build/tools/sim/varno-sim" campaign --network "$stations" --hours "$hours" net
gzip net/obs/*.10o
sed -i 's|obs/\*\.10o|obs/*.10o.gz|' net/campaign.toml
made=$(seconds)
cd net
"$build/varno-campaign" plan campaign.toml > plan.txt
baselines=$(wc -l < campaign-work/jobs.list)

start_run=$(seconds)
"$build/varno-campaign" run campaign.toml -j "$jobs" > run.txt 2>&1 || true
end_run=$(seconds)
failed=$(grep -c '^failed job' run.txt || true)

/usr/bin/time -v "$build/varno-campaign" adjust campaign.toml > adjust.txt 2> adjust-time.txt
adjust_wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' adjust-time.txt)

# One job again, alone, for its peak memory.
job=$(head -1 campaign-work/jobs.list)
rm -f "$job/stamp"
/usr/bin/time -v /bin/sh "$job/run.sh" 2> job-time.txt

awk -v n="$stations" -v h="$hours" -v j="$jobs" -v b="$baselines" -v f="$failed" -v sim="$made - $start" \
    -v run="$end_run - $start_run" -v adj="$adjust_wall" -v jm="$(peak_kib job-time.txt)" \
    -v am="$(peak_kib adjust-time.txt)" 'BEGIN {
  split(sim, s, " - "); sim = s[1] - s[2]; split(run, r, " - "); run = r[1] - r[2]
  printf "stations %d, %g h at 30 s, gzip files, precise orbit, %d jobs at once (%d processors)\n", n, h, j, j
  printf "| figure | value |\n|---|---|\n"
  printf "| baselines processed (failed) | %d (%d) |\n", b, f
  printf "| wall time of the jobs through GNU parallel | %.1f s |\n", run
  printf "| baselines per second | %.2f |\n", b / run
  printf "| adjustment (reading %d summaries, loops, both adjustments, PROJ, every output) | %.2f s |\n", b, adj
  printf "| peak memory of one varno job | %.1f MiB |\n", jm / 1024
  printf "| peak memory of the adjustment | %.1f MiB |\n", am / 1024
  printf "| (simulating the network, not part of the figures) | %.0f s |\n", sim
}'
