#!/usr/bin/env bash
# Builds subproject/ (the library through add_subdirectory, SDL2 hidden) and
# runs its program on the demo's sky picture.
#   subproject.sh SOURCE_DIR SKY.PCX C_COMPILER CXX_COMPILER [FLAG...]
set -euo pipefail
source="$1" sky="$2" cc="$3" cxx="$4"
shift 4
flags="$*"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! cmake -S "$source/tests/install/subproject" -B "$work" -DRASTER_SOURCE_DIR="$source" \
     -DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER="$cc" \
     -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
     -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$work/configure.log" 2>&1; then
  cat "$work/configure.log" >&2
  exit 1
fi
cmake --build "$work" -j 2 >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
said="$("$work/sky" "$sky")"
echo "$said"
[[ "$said" == "640 x 200, 256 colours, top left "* ]] || { echo "unexpected: $said" >&2; exit 1; }
