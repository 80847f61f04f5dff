#!/usr/bin/env bash
# Runs varno on the example with --plot and opens the SVG with xmllint (well-formed XML) and rsvg-convert (a
# PNG of the expected size). Exit 77 (skipped) when neither tool is installed or varno has no --plot yet.
set -euo pipefail
varno=$1 example=$2 work=$3
command -v xmllint >/dev/null || command -v rsvg-convert >/dev/null || { echo "no xmllint or rsvg-convert"; exit 77; }
rm -rf "$work" && mkdir -p "$work"
cp "$example"/point1.rnx "$example"/point2.rnx "$example"/orbit.sp3 "$example"/pos "$work"/
[ -f "$example/off" ] && cp "$example/off" "$work"/
cd "$work"
"$varno" --plot plot.svg >console.txt 2>&1 || { cat console.txt; exit 1; }
if command -v xmllint >/dev/null; then xmllint --noout plot.svg; echo "xmllint: well-formed"; fi
if command -v rsvg-convert >/dev/null; then
  rsvg-convert -w 1000 plot.svg -o plot.png
  [ "$(head -c 8 plot.png | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || { echo "not a PNG"; exit 1; }
  [ "$(stat -c %s plot.png)" -gt 10000 ] || { echo "PNG suspiciously small"; exit 1; }
  echo "rsvg-convert: rendered $(stat -c %s plot.png) bytes of PNG"
fi
