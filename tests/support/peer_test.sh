#!/bin/sh
# The peer check (tests/support/peer) on stand-in programs: what decides is
# the first line of the program's own version output, not a word anywhere.
#
#   peer_test.sh PATH/TO/peer
set -u
peer="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# Only the stand-ins and what the check itself runs are on PATH, so the
# machine's own peers cannot answer in their place.
ln -s "$(command -v head)" "$work/bin/head"
failures=0

# stand_in NAME 'LINES': a program NAME that prints LINES (to standard
# error, as netpbm's do, when NAME is a netpbm program) whatever it is asked.
stand_in() {
  case "$1" in
  convert | compare | import | python3) to="" ;;
  *) to=" >&2" ;;
  esac
  printf '#!/bin/sh\nprintf %%s %s%s\n' "'$2'" "$to" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}

# expect STATUS WORDS PROGRAM [PYTHON]: the check's status, and WORDS in
# what it says when it refuses.
expect() {
  want="$1" words="$2"
  shift 2
  said="$(PATH="$work/bin" /bin/sh "$peer" "$@")"
  got=$?
  case "$said" in
  *"$words"*) ;;
  *) got="$got (said '$said')" ;;
  esac
  if [ "$got" != "$want" ]; then
    echo "FAILED: peer $* gave $got, expected $want with '$words'" >&2
    failures=$((failures + 1))
  fi
}

# The stand-in of a machine without ImageMagick names it, and is not it.
stand_in convert 'convert: ImageMagick is not installed here, and this stand-in only prints a PNG
'
expect 1 "is not ImageMagick's (its version line: 'convert: ImageMagick is not installed here" convert
# Nor is another maker's program of the same name.
stand_in convert 'Version: GraphicsMagick 1.3.40 2023-01-14 Q16 http://www.GraphicsMagick.org/
'
expect 1 "install imagemagick" convert
stand_in convert 'Copyright: (C) 1999-2021 ImageMagick Studio LLC
Version: ImageMagick 6.9.11-60 Q16 x86_64
'
expect 1 "version line: 'Copyright" convert
stand_in convert 'Version: ImageMagick 6.9.11-60 Q16 x86_64 2021-01-25 https://imagemagick.org
Copyright: (C) 1999-2021 ImageMagick Studio LLC
'
expect 0 "" convert
expect 1 "compare not found: install imagemagick" compare

# netpbm's programs name the library they are built on, first.
stand_in pcxtoppm 'pcxtoppm: Using libnetpbm from Netpbm Version: Netpbm 11.1.0
pcxtoppm: Built from source dated 2023-01-11 15:30:00
'
expect 0 "" pcxtoppm
stand_in ppmtopcx 'ppmtopcx: a converter in the manner of Netpbm
'
expect 1 "is not netpbm's" ppmtopcx
stand_in ppmtopcx 'pcxtoppm: Using libnetpbm from Netpbm Version: Netpbm 11.1.0
'
expect 1 "install netpbm" ppmtopcx
expect 1 "pnmtopng not found: install netpbm" pnmtopng

# Pillow answers for itself through the Python given.
stand_in python3 'Pillow 9.4.0
'
expect 0 "" pillow "$work/bin/python3"
stand_in python3 'PIL 1.1.7
'
expect 1 "is not Pillow's (its version line: 'PIL 1.1.7'): install python3-pil" pillow "$work/bin/python3"
expect 1 "no $work/bin/nopython for Pillow" pillow "$work/bin/nopython"

[ "$failures" -eq 0 ] && echo "the peer check went by the version line in every case"
[ "$failures" -eq 0 ]
