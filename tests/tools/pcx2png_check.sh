#!/usr/bin/env bash
# pcx2png against ImageMagick, an independent PCX reader: the demo's 8-bit
# sky, and the same picture written as true colour by the PCX writer, must
# convert to PNG files with exactly the pixels ImageMagick reads; both at
# once, on two jobs.
#   pcx2png_check.sh PCX2PNG PCXWRITE SKY.PCX
# Exit status 77 (skipped) without ImageMagick.
set -euo pipefail
pcx2png="$1" pcxwrite="$2" sky="$3"
# A program counts as ImageMagick's only when its version line says so:
# another program named convert may come first on PATH.
for tool in convert compare; do
  why="$("$(dirname "$0")/../support/peer" "$tool")" || { echo "$why: skipped"; exit 77; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

same() {  # same PCX PNG: every pixel equal
  local differ
  differ="$(compare -metric AE "$1" "$2" null: 2>&1 || true)"
  if [[ "$differ" != "0" ]]; then
    echo "$2 differs from $1 as ImageMagick reads it: $differ pixels" >&2
    exit 1
  fi
}

convert "$sky" "$work/sky.ppm"
"$pcxwrite" --layout 24 "$work/sky.ppm" "$work/sky24.pcx"
"$pcx2png" -j 2 "$sky" "$work/sky24.pcx" -o "$work/png" >/dev/null
same "$sky" "$work/png/$(basename "${sky%.*}").png"
same "$work/sky.ppm" "$work/png/sky24.png"

# A file it cannot read is named, and nothing is written.
if "$pcx2png" "$work/missing.pcx" -o "$work/out" >/dev/null 2>"$work/said"; then
  echo "pcx2png succeeded on a missing file" >&2
  exit 1
fi
grep -qx "pcx2png: $work/missing.pcx: refused: does not exist" "$work/said" ||
  { cat "$work/said" >&2; exit 1; }
[[ ! -e "$work/out/missing.png" ]] || { echo "pcx2png wrote a file for a missing picture" >&2; exit 1; }
echo "pcx2png output matches ImageMagick"
