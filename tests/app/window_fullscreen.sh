#!/usr/bin/env bash
# Full screen on a key: F11 makes the 320x180 window cover the 1920x1080
# screen (xwininfo) and the post buffers follow it (log); F11 again gives
# the window its size back, and Alt+Enter toggles it the same way. Keys are
# typed with xdotool into the running show.
# Arguments: build directory, source directory. Needs a display (xvfb-run,
# screen 1920x1080).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_build_workdir window_fullscreen

"$PROGRAM" --mode 320x180 --mute --loop >"$WORK/out.txt" 2>&1 &
pid=$!
wait_for() {   # wait_for TEXT: up to 60 s for a log line with TEXT (count N: the Nth)
  local text="$1" count="${2:-1}" waited=0
  while [ "$waited" -lt 600 ]; do
    local n
    n=$(grep -cF "$text" demo.log 2>/dev/null)
    [ "${n:-0}" -ge "$count" ] && return 0
    sleep 0.1
    waited=$((waited + 1))
  done
  echo "FAIL: no log line ($count) with: $text"
  fail=1
  return 1
}
size_is() {   # size_is WxH: the window's size as the X server has it
  local id="$1" want="$2" waited=0 got=""
  while [ "$waited" -lt 100 ]; do
    got=$(xwininfo -id "$id" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')
    [ "$got" = "$want" ] && return 0
    sleep 0.1
    waited=$((waited + 1))
  done
  echo "FAIL: window is $got, wanted $want"
  fail=1
}

if wait_for "Start-up phase music"; then
  id=$(xdotool search --sync --pid "$pid" | head -1)
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --window "$id" F11
  size_is "$id" 1920x1080
  wait_for "window: full screen"
  wait_for "follow the framebuffer: 1920 x 1080"
  xdotool key --window "$id" F11
  size_is "$id" 320x180
  wait_for "window: back in a window"
  wait_for "follow the framebuffer: 320 x 180"
  xdotool key --window "$id" alt+Return
  size_is "$id" 1920x1080
  wait_for "follow the framebuffer: 1920 x 1080" 2
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
cp demo.log "$WORK/run.log" 2>/dev/null
[ "$fail" = 0 ] && echo "window full screen: F11 and Alt+Enter toggle, buffers follow"
exit "$fail"
