#!/usr/bin/env bash
# Runs varno on the example with --plot and opens the SVG with xmllint (well-formed XML), rsvg-convert and, where
# it is installed, headless Chromium (each must give a PNG of some size). Exit 77 (skipped) when no tool is there.
set -euo pipefail
varno=$1 example=$2 work=$3
command -v xmllint >/dev/null || command -v rsvg-convert >/dev/null || command -v chromium >/dev/null ||
  { echo "no xmllint, rsvg-convert or chromium"; exit 77; }
rm -rf "$work" && mkdir -p "$work"
cp "$example"/point1.rnx "$example"/point2.rnx "$example"/orbit.sp3 "$example"/pos "$work"/
[ -f "$example/off" ] && cp "$example/off" "$work"/
cd "$work"
"$varno" --plot plot.svg >console.txt 2>&1 || { cat console.txt; exit 1; }
if command -v xmllint >/dev/null; then xmllint --noout plot.svg; echo "xmllint: well-formed"; fi
is_picture() {  # PNG file, tool name
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || { echo "$2: not a PNG"; exit 1; }
  [ "$(stat -c %s "$1")" -gt 10000 ] || { echo "$2: PNG suspiciously small"; exit 1; }
  echo "$2: rendered $(stat -c %s "$1") bytes of PNG"
}
if command -v rsvg-convert >/dev/null; then
  rsvg-convert -w 1000 plot.svg -o rsvg.png
  is_picture rsvg.png rsvg-convert
fi
if command -v chromium >/dev/null; then
  # --no-sandbox: CI runs as root, where Chromium refuses its sandbox.
  timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1000,800 \
    --screenshot="$PWD/chromium.png" "file://$PWD/plot.svg" >chromium.log 2>&1 || { cat chromium.log; exit 1; }
  is_picture chromium.png chromium
fi
