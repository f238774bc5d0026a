#!/usr/bin/env bash
# The program's real window on a virtual X display (Xvfb).
#
#   live_window.sh screenshots PROGRAM RECORDER
#     At client sizes 312 x 173 (its own), 640 x 400 and 451 x 263, a
#     screenshot of the window must equal, byte for byte, one of the frames
#     the recorder draws at that size.
#   live_window.sh lost-display PROGRAM
#     The X server ending under the program, and the window destroyed by
#     another client: each must end the program with status 1 and exactly
#     one line on stderr, within seconds.
#
# Exits 77 (skipped) when Xvfb, xdotool or ImageMagick is missing.
set -uo pipefail

mode="${1:-}"
program="${2:-}"
recorder="${3:-}"

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

for tool in Xvfb xdotool md5sum; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/setup --ci)"
done
# ImageMagick's only when their version lines say so (a stand-in convert
# may come first on PATH).
for tool in import convert; do
  why="$("$(dirname "$0")/../support/peer" "$tool")" || skip "$why"
done
[[ -x "$program" ]] || fail "no program at '$program'"

work="$(mktemp -d)"
xvfb_pid=""
program_pid=""
cleanup() {
  [[ -n "$program_pid" ]] && kill "$program_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# In a sanitizer build, the leak checker would also count what the system's
# D-Bus library (which SDL's video start-up opens) keeps until exit.
printf 'leak:libdbus-1.so\n' >"$work/lsan.supp"
export LSAN_OPTIONS="suppressions=$work/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

start_xvfb() {
  # Xvfb picks a free display number itself and writes it to the given
  # descriptor: choosing one here would race with other tests doing the same.
  local number_file="$work/display-number"
  rm -f "$number_file"
  # -noreset: an X server resets when its last client leaves, and refuses
  # connections while it does; the readiness check below is such a client,
  # and the program may connect in that moment.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$number_file" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  display=""
  for _ in $(seq 100); do
    if [[ -s "$number_file" ]] && grep -q '^[0-9][0-9]*$' "$number_file"; then
      display=":$(cat "$number_file")"
      DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended at start: $(cat "$work/xvfb.log")"
    sleep 0.1
  done
  fail "Xvfb did not start${display:+ on $display}"
}

# Starts the program and sets $window.
start_program() {
  # The test runner asks for headless programs; this one must show its window.
  DISPLAY="$display" env -u SCALING_SCROLLING_HEADLESS "$program" 2>"$work/stderr" &
  program_pid=$!
  window=""
  for _ in $(seq 100); do
    window="$(DISPLAY="$display" xdotool search --name '^Scaling and Scrolling$' 2>/dev/null | head -n 1)"
    [[ -n "$window" ]] && return 0
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended before showing its window: $(cat "$work/stderr")"
    sleep 0.1
  done
  fail "no window captioned \"Scaling and Scrolling\""
}

# Waits up to 10 s for the program to end; sets $status.
wait_for_end() {
  for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$program_pid" 2>/dev/null && fail "the program is still running ($1)"
  wait "$program_pid"
  status=$?
  program_pid=""
}

screenshots() {
  [[ -x "$recorder" ]] || fail "no recorder at '$recorder'"
  start_xvfb
  start_program
  local size width height frames shot geometry found
  for size in 312x173 640x400 451x263; do
    width="${size%x*}"
    height="${size#*x}"
    # The recorder's 160 frames (one whole cycle) at this size, as hashes of
    # their raw RGB bytes.
    frames="$work/frames-$size"
    mkdir -p "$frames"
    "$recorder" --frames 160 --client "$size" --png-dir "$frames" >/dev/null || fail "the recorder failed at $size"
    convert "$frames"/*.png -depth 8 +adjoin "rgb:$frames/raw-%03d" || fail "convert failed"
    md5sum "$frames"/raw-* | cut -d' ' -f1 >"$frames.md5"
    [[ "$(wc -l <"$frames.md5")" -eq 160 ]] || fail "the recorder did not make 160 frames at $size"

    [[ "$size" == 312x173 ]] || DISPLAY="$display" xdotool windowsize "$window" "$width" "$height"
    geometry=""
    for _ in $(seq 100); do
      geometry="$(DISPLAY="$display" xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')"
      [[ "$geometry" == "$size" ]] && break
      sleep 0.1
    done
    [[ "$geometry" == "$size" ]] || fail "the window is $geometry, not $size"
    sleep 0.5  # frames at the new size reach the window
    found=""
    # A screenshot taken while a frame is being drawn shows parts of two; on
    # a busy machine that can happen several times in a row.
    for attempt in $(seq 10); do
      shot="$work/shot-$size-$attempt.rgb"
      DISPLAY="$display" import -window "$window" -depth 8 "rgb:$shot" 2>/dev/null || fail "import failed"
      [[ "$(stat -c %s "$shot")" -eq $((width * height * 3)) ]] || fail "the screenshot at $size has the wrong size"
      if grep -qx "$(md5sum <"$shot" | cut -d' ' -f1)" "$frames.md5"; then
        found=yes
        break
      fi
      sleep 0.05
    done
    [[ -n "$found" ]] || fail "at $size the window showed none of the recorder's 160 frames"
    echo "$size: the window shows one of the recorder's frames exactly"
  done
  kill "$program_pid"
  wait_for_end "after SIGTERM"
  ((status == 0)) || fail "SIGTERM ended the program with status $status, not 0"
}

# The program's stderr must be one line naming what happened.
expect_one_line() {
  local lines
  lines="$(wc -l <"$work/stderr")"
  ((status == 1)) || fail "$1: status $status, not 1; stderr: $(cat "$work/stderr")"
  ((lines == 1)) || fail "$1: $lines lines on stderr, not 1: $(cat "$work/stderr")"
  grep -q "$2" "$work/stderr" || fail "$1: stderr does not say '$2': $(cat "$work/stderr")"
  echo "$1: status 1, stderr: $(cat "$work/stderr")"
}

lost_display() {
  start_xvfb
  start_program
  sleep 0.5
  kill "$xvfb_pid"
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
  wait_for_end "after its X server ended"
  expect_one_line "X server ended" "lost the connection to the X display"

  # Another client destroys the window (Xlib through Python's ctypes: no
  # command-line tool here does exactly that).
  if ! command -v python3 >/dev/null 2>&1; then
    echo "window destroyed from outside: not checked (no python3)"
    return 0
  fi
  start_xvfb
  start_program
  sleep 0.5
  DISPLAY="$display" python3 - "$window" <<'EOF' || fail "could not destroy the window"
import ctypes, sys
xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
display = ctypes.c_void_p(xlib.XOpenDisplay(None))
xlib.XDestroyWindow(display, ctypes.c_ulong(int(sys.argv[1])))
xlib.XSync(display, 0)
EOF
  wait_for_end "after its window was destroyed"
  expect_one_line "window destroyed" "window"
}

case "$mode" in
  screenshots) screenshots ;;
  lost-display) lost_display ;;
  *) fail "usage: live_window.sh screenshots PROGRAM RECORDER | lost-display PROGRAM" ;;
esac
