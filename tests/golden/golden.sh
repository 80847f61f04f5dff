#!/usr/bin/env bash
# Golden outputs: runs varno on the bundled example, a set of simulated scenarios and (when present) the real
# datasets, and compares the digests of listing, residual file, console and exit status with those stored in
# digests.txt. Any moved byte fails the test and names the case.
#   golden.sh check VARNO VARNO_SIM EXAMPLE_DIR SHARED_DIR WORK_DIR DIGESTS
#   golden.sh write ...same...   (rewrites DIGESTS; only when an output is meant to move)
set -u
mode=$1 varno=$(realpath "$2") sim=$(realpath "$3") example=$(realpath "$4") shared=$(realpath -m "${VARNO_SHARED_DIR:-$5}") work=$6 digests=$7

# name | simulator options (empty: copy a directory)
scenarios=(
  "default|"
  "hz1-1h|--interval=1 --duration=3600"
  "outliers|--outlier-rate=0.01 --outlier-size=40 --seed=7"
  "mixed-rate|--interval1=1 --interval2=30 --duration=3600"
  "tag-offset|--tag-offset1=-0.25 --tag-offset2=0.25 --duration=3600"
  "long-300km|--baseline=300000 --duration=7200 --seed=3"
  "c1-only|--types1=C1,L1 --types2=L1,L2,C1,P1,P2,C2 --seed=5"
  "glonass|--glonass=5 --max-sats=12"
  "crlf|--crlf=all"
  "events|--events1=1200,3600 --power-fail2=2400"
  "blank-p1|--blank-p1=0.05 --zero-p1=0.02 --zero-code=0.01 --seed=11"
  "orbit-omit|--orbit-omit=7"
  "pos-omit2|--pos-omit2=1"
  "offsets|--off=yes --antenna2=1.2,0.01,-0.02"
  "stop-nooverlap|--tag-offset2=0.35 --duration=1800"
  "drop-sats|--drop-sats2=5,12 --start-delay2=600 --stop-early1=300"
)

mkdir -p "$work"
out=$(mktemp)
runcase() {  # name dir
  local name=$1 dir=$2
  (cd "$dir" && rm -f varno.lst varno.res && "$varno" >console.txt 2>&1; echo "status $?" >>console.txt)
  for f in varno.lst varno.res console.txt; do
    if [ -f "$dir/$f" ]; then sum=$(sha256sum <"$dir/$f" | cut -c1-64); else sum=absent; fi
    echo "$name $f $sum" >>"$out"
  done
}

dir=$work/example; rm -rf "$dir"; mkdir -p "$dir"; cp "$example"/* "$dir"/; runcase example "$dir"
for s in "${scenarios[@]}"; do
  name=${s%%|*} opts=${s#*|}
  dir=$work/$name; rm -rf "$dir"; mkdir -p "$dir"
  # shellcheck disable=SC2086
  "$sim" $opts "$dir" >/dev/null || { echo "simulator failed for $name"; exit 1; }
  runcase "$name" "$dir"
done
have_data=0
for d in "$shared"/data/*/; do
  [ -f "$d/point1.rnx" ] || continue
  have_data=1
  name=data-$(basename "$d"); dir=$work/$name; rm -rf "$dir"; mkdir -p "$dir"
  for f in pos point1.rnx point2.rnx orbit.sp3 off; do [ -f "$d/$f" ] && ln -s "$d/$f" "$dir/$f"; done
  runcase "$name" "$dir"
done

if [ "$mode" = write ]; then cp "$out" "$digests"; echo "wrote $digests"; exit 0; fi
status=0
while read -r name file sum; do
  want=$(awk -v n="$name" -v f="$file" '$1==n && $2==f {print $3}' "$digests")
  if [ -z "$want" ]; then echo "no stored digest for $name $file"; status=1
  elif [ "$want" != "$sum" ]; then echo "MOVED: $name $file (outputs in $work/$name)"; status=1; fi
done <"$out"
[ $have_data = 1 ] || echo "real datasets not found under $shared/data: their cases were skipped"
echo "golden: $(wc -l <"$out") outputs compared"
exit $status
