#!/usr/bin/env bash
# make fuzz: builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UBSan) in build-fuzz and runs each for
# FUZZ_SECONDS (default 600), one after the other, from seeds of ../shared/corpus (when present) and of the
# simulator. The working corpus of each target stays in build-fuzz/fuzz-corpus and grows from run to run; a
# finding is kept in build-fuzz/fuzz-findings/<target>/ and makes the command fail.
#   FUZZ_SECONDS=30 make fuzz         the smoke run CI does
#   FUZZ_TARGETS="obs sp3" make fuzz  some targets only (obs sp3 nav pos off run)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-600}
build=${FUZZ_BUILD:-build-fuzz}
targets=${FUZZ_TARGETS:-obs sp3 nav pos off run}
shared=${VARNO_SHARED_DIR:-../shared}
compiler=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$compiler" ] || ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    "$compiler" -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  echo "fuzz: skipped: no clang++ with libFuzzer (scripts/setup.sh installs clang-14 and libclang-rt-14-dev)"
  exit 0
fi

cmake -S . -B "$build" -DVARNO_FUZZ=ON -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target varno-sim $(for t in $targets; do echo "fuzz-$t"; done) >/dev/null

# Seeds, made anew each time (the simulator's files in several formats and packings, and the corpus).
sim="$build/tools/sim/varno-sim"
seeds="$build/fuzz-seeds"
rm -rf "$seeds" && mkdir -p "$seeds"/{obs,sp3,nav,pos,off,run}
for variant in "plain:" "rinex3:--format=rinex3 --glonass=5,9" "compact:--packing=compact --orbit-packing=gzip" \
               "gzip:--format=rinex4 --packing=compact+gzip --events1=120 --max-sats=14" \
               "bzip2:--packing=bzip2 --orbit-packing=xz" "xz:--format=rinex3 --packing=xz --orbit-packing=bzip2" \
               "compress:--packing=compact+compress --orbit-packing=compress"; do
  name=${variant%%:*}
  "$sim" --duration=300 --interval=30 ${variant#*:} "$seeds/sim-$name" >/dev/null
  cp "$seeds/sim-$name/point1.rnx" "$seeds/obs/$name-point1"
  cp "$seeds/sim-$name/orbit.sp3" "$seeds/sp3/$name-orbit"
done
cp "$seeds/sim-plain/pos" "$seeds/pos/pos" && cp "$seeds/sim-plain/off" "$seeds/off/off"
for f in point1.rnx point2.rnx orbit.sp3 pos off; do
  k=$(case $f in point1.rnx) echo 0;; point2.rnx) echo 1;; orbit.sp3) echo 2;; pos) echo 3;; off) echo 4;; esac)
  { printf "\\x0$k"; cat "$seeds/sim-plain/$f"; } > "$seeds/run/$f"
done
if [ -d "$shared/corpus" ]; then
  cp "$shared"/corpus/o[23]*.* "$seeds/obs/" 2>/dev/null || true
  cp "$shared"/corpus/sp3*.sp3 "$seeds/sp3/" 2>/dev/null || true
  cp "$shared"/corpus/nav* "$seeds/nav/" 2>/dev/null || true
else
  echo "fuzz: $shared/corpus not present: seeds from the simulator only"
fi

status=0
for t in $targets; do
  corpus="$build/fuzz-corpus/$t" findings="$build/fuzz-findings/$t" log="$build/fuzz-$t.log"
  mkdir -p "$corpus" "$findings"
  if "$build/fuzz/fuzz-$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
       -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds/$t" >"$log" 2>&1; then
    result=ok
  else
    result="FINDING (see $log and $findings)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz-$t: ${runs:-?} executions in ${seconds} s: $result"
done
exit $status
