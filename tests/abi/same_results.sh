#!/usr/bin/env bash
# same_results.sh STATIC_PROGRAM SHARED_PROGRAM SKY.PCX: both builds of
# same_results.c must write the same bytes, and the shared one must really
# run on the shared libraries (and the static one on none of them).
set -euo pipefail
static="$1" shared="$2" sky="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# (ldd's output is taken whole first: grep -q stops reading early, and
# pipefail would count the writer's broken pipe.)
loaded="$(ldd "$shared")"
grep -q 'libraster\.so\.1 => /' <<<"$loaded" || { echo "$shared does not load libraster.so.1" >&2; exit 1; }
loaded="$(ldd "$static")"
if grep -q 'libraster' <<<"$loaded"; then echo "$static loads a shared raster library" >&2; exit 1; fi
"$static" "$sky" "$work/static"
"$shared" "$sky" "$work/shared"
for part in surface codec; do
  [[ -s "$work/static-$part.pcx" ]] || { echo "the static build wrote no $part picture" >&2; exit 1; }
  cmp "$work/static-$part.pcx" "$work/shared-$part.pcx" || { echo "the $part pictures differ" >&2; exit 1; }
done
echo "static and shared builds wrote the same $(stat -c %s "$work/static-surface.pcx") + $(stat -c %s "$work/static-codec.pcx") bytes"
