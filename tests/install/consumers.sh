#!/usr/bin/env bash
# Installs the built tree into a temporary prefix and builds programs
# against it from outside the source tree, as a user of the library would:
#   - the C example of docs/library.md (examples/sky) through find_package,
#     in a CMake project whose only language is C, and again through
#     pkg-config
#   - a C++ consumer (consumer.cpp) through pkg-config
#   - the PCX codec alone (codec/codec_consumer.c, which includes only
#     raster/pcx_codec.h) through find_package and through pkg-config
#     raster-pcx, linking nothing else
#   - examples/pcx_threads (the codec on four threads) the same two ways
# All decode the demo's sky picture; the C++ one checks its pixels against
# the palette stored in the file, the codec ones must say what sky says,
# and pcx_threads's copies must decode as sky does and copy to themselves.
#   consumers.sh BUILD_DIR SOURCE_DIR SKY.PCX C_COMPILER CXX_COMPILER [FLAG...]
# FLAGs go to every compile and link (the sanitizer build's, for one).
set -euo pipefail
build="$1" source="$2" sky="$3" cc="$4" cxx="$5"
shift 5
flags=("$@")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run() {  # run LOG COMMAND...: quiet unless it fails
  local log="$work/$1"
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "failed: $*" >&2; exit 1; }
}

prefix="$work/prefix"
run install.log cmake --install "$build" --prefix "$prefix"

# The library's guide and the API reference show the example as it is in
# the tree.
for file in docs/library.md:sky.c docs/library.md:CMakeLists.txt docs/api.md:sky.c; do
  shown="$(<"$source/${file%%:*}")"
  text="$(<"$source/examples/sky/${file#*:}")"
  if [[ "$shown" != *"$text"* ]]; then
    echo "${file%%:*} does not show examples/sky/${file#*:} as it is" >&2
    exit 1
  fi
done

echo "-- examples/sky through find_package"
run sky-configure.log cmake -S "$source/examples/sky" -B "$work/sky-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${flags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${flags[*]}"
run sky-build.log cmake --build "$work/sky-build"
said="$("$work/sky-build/sky" "$sky")"
echo "$said"
[[ "$said" == "640 x 200, 256 colours, top left "* ]] || { echo "unexpected: $said" >&2; exit 1; }

echo "-- examples/sky and consumer.cpp through pkg-config"
PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name raster.pc | head -n 1)")"
export PKG_CONFIG_PATH
read -r -a raster_flags <<<"$(pkg-config --cflags --libs raster)"
run sky-pc.log "$cc" -std=c99 -Wall -Wextra -Werror "${flags[@]}" "$source/examples/sky/sky.c" "${raster_flags[@]}" \
  -o "$work/sky-pc"
said_again="$("$work/sky-pc" "$sky")"
[[ "$said_again" == "$said" ]] || { echo "pkg-config build says: $said_again" >&2; exit 1; }
run consumer-build.log "$cxx" -std=c++17 -Wall -Wextra -Werror "${flags[@]}" "$source/tests/install/consumer.cpp" \
  "${raster_flags[@]}" -o "$work/consumer"
"$work/consumer" "$sky"

echo "-- the PCX tools are installed and run from the prefix"
for tool in pcxcheck/pcxcheck pcxconvert/pcx2png pcxconvert/png2pcx; do
  [[ -e "$build/tools/$tool" ]] || continue  # not built (no libpng)
  [[ -x "$prefix/bin/${tool#*/}" ]] || { echo "$prefix/bin/${tool#*/} was not installed" >&2; exit 1; }
done
if [[ -e "$build/tools/pcxcheck/pcxcheck" ]]; then
  checked="$("$prefix/bin/pcxcheck" "$sky")"
  [[ "$checked" == *"SKY.PCX: 640 x 200, 8 bits x 1 plane, "* ]] || { echo "pcxcheck says: $checked" >&2; exit 1; }
fi

echo "-- the PCX codec alone through find_package and pkg-config raster-pcx"
run codec-configure.log cmake -S "$source/tests/install/codec" -B "$work/codec-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${flags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${flags[*]}"
run codec-build.log cmake --build "$work/codec-build"
codec_said="$("$work/codec-build/codec_consumer" "$sky")"
[[ "$codec_said" == "$said" ]] || { echo "the codec (find_package) says: $codec_said" >&2; exit 1; }
read -r -a codec_flags <<<"$(pkg-config --cflags --libs raster-pcx)"
[[ " ${codec_flags[*]} " != *" -lraster "* ]] || { echo "raster-pcx.pc links the library" >&2; exit 1; }
run codec-pc.log "$cc" -std=c99 -Wall -Wextra -Werror "${flags[@]}" "$source/tests/install/codec/codec_consumer.c" \
  "${codec_flags[@]}" -o "$work/codec-pc"
codec_said="$("$work/codec-pc" "$sky")"
[[ "$codec_said" == "$said" ]] || { echo "the codec (pkg-config) says: $codec_said" >&2; exit 1; }
echo "$codec_said"

echo "-- examples/pcx_threads through find_package and pkg-config raster-pcx"
run threads-configure.log cmake -S "$source/examples/pcx_threads" -B "$work/threads-build" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${flags[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${flags[*]}"
run threads-build.log cmake --build "$work/threads-build"
run threads-pc.log "$cc" -std=c99 -Wall -Wextra -Werror "${flags[@]}" "$source/examples/pcx_threads/pcx_threads.c" \
  "${codec_flags[@]}" -pthread -o "$work/threads-pc"
mkdir -p "$work/pictures"
for n in 1 2 3 4 5 6; do cp "$sky" "$work/pictures/sky$n.pcx"; done
for program in "$work/threads-build/pcx_threads" "$work/threads-pc"; do
  rm -rf "$work/once" "$work/twice"
  mkdir -p "$work/once" "$work/twice"
  lines="$("$program" "$work/once" "$work/pictures/"*.pcx | grep -c ': 640 x 200, 256 colours, ')"
  [[ "$lines" == 6 ]] || { echo "$program copied $lines of 6 pictures" >&2; exit 1; }
  "$program" "$work/twice" "$work/once/"*.pcx >/dev/null
  for n in 1 2 3 4 5 6; do
    copy_said="$("$work/codec-pc" "$work/once/sky$n.pcx")"
    [[ "$copy_said" == "$said" ]] || { echo "$program's copy of sky says: $copy_said" >&2; exit 1; }
    cmp -s "$work/once/sky$n.pcx" "$work/twice/sky$n.pcx" || { echo "$program: a copy's copy differs" >&2; exit 1; }
  done
done
echo "pcx_threads: 6 pictures copied on four threads, twice over, by each build"
