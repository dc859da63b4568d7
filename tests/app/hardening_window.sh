#!/usr/bin/env bash
# Window changes while the show plays (xdotool under Xvfb, no window manager):
# a few pixels, one pixel, very wide, very tall, minimised and unmapped, then
# back to 16:9. No crash, exit code 0 on Escape, no GL error, no sanitizer
# report; the letterbox follows the shape (bars on the tall window, none on
# the wide one) and the picture fills the window again once it is 16:9.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
use_sanitizer_defaults
use_dummy_sound
read_show_timing
hold_display
enter_workdir "window"

# Scene 6 (the gun, about 15 s long) is bright to its edges: black rows there are bars.
start_program --mode 320x180 --gl-debug --start "$(python3 -c "print(${SCENE_START[5]:-103.4} + 0.1)")"
on_exit 'kill "$PID" 2>/dev/null'   # a failed check must not leave the show playing
win=$(wait_window "KESTREL Engine" 120) || fail "no window"
for _ in $(seq 1 600); do
  grep -q '^Start-up phase music' demo.log 2>/dev/null && break
  kill -0 "$PID" 2>/dev/null || break
  sleep 0.2
done
grep -q '^Start-up phase music' demo.log || fail "the show did not start"

# Sets the window's size and lets a few frames render at it.
resize() {
  xdotool windowsize "$win" "$1" "$2" || fail "xdotool could not resize to $1 x $2"
  sleep "${3:-1.5}"
  kill -0 "$PID" 2>/dev/null || fail "the program ended at $1 x $2: $(tail -3 err.txt)"
}
# Mean grey level (0..1) of a rectangle WxH+X+Y of a captured picture.
mean() { convert "$1" -crop "$2" +repage -colorspace gray -format '%[fx:mean]' info:; }
brighter() { python3 -c "import sys; sys.exit(0 if $1 > $2 else 1)"; }

resize 4 3
resize 1 1
# What each size must show (checked in detail below): the capture waits for it,
# so a loaded machine only makes the wait longer.
wide_shown() { brighter "$(mean "$1" 1600x4+0+0)" 0.05 && brighter "$(mean "$1" 1600x4+0+86)" 0.05; }
tall_shown() {
  [ "$(mean "$1" 90x300+0+0)" = 0 ] && [ "$(mean "$1" 90x300+0+600)" = 0 ] && brighter "$(mean "$1" 90x30+0+435)" 0.05
}
back_shown() {
  [ "$(identify -format '%wx%h' "$1")" = 320x180 ] && brighter "$(mean "$1" 320x4+0+0)" 0.05 &&
    brighter "$(mean "$1" 320x4+0+176)" 0.05
}
resize 1600 90
capture_until "$win" wide.png wide_shown || [ -e wide.png ] || fail "no capture of the wide window"
resize 90 900
capture_until "$win" tall.png tall_shown || [ -e tall.png ] || fail "no capture of the tall window"
xdotool windowminimize "$win" 2>/dev/null || true   # needs a window manager; harmless without
xdotool windowunmap "$win"
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the program ended while unmapped"
xdotool windowmap "$win"
resize 320 180 2
capture_until "$win" back.png back_shown || [ -e back.png ] || fail "no capture after the way back"
tap_key "$win" Escape
wait_exit 60
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS"

report=$(sanitizer_report err.txt)
[ -z "$report" ] || fail "sanitizer report: $report"
errors=$(gl_error_total demo.log)
[ "$errors" = 0 ] || fail "GL errors: $errors ($(grep -m3 '^GL error' demo.log))"

# Tall (90 x 900): a 16:9 picture 50 rows high in the middle, black above and below.
top=$(mean tall.png 90x300+0+0)
bottom=$(mean tall.png 90x300+0+600)
middle=$(mean tall.png 90x30+0+435)
[ "$top" = 0 ] && [ "$bottom" = 0 ] || fail "tall window: no black bars (top $top, bottom $bottom)"
brighter "$middle" 0.05 || fail "tall window: no picture between the bars ($middle)"
# Wide (1600 x 90): wider than 16:9, no bars: the top and bottom rows hold picture.
brighter "$(mean wide.png 1600x4+0+0)" 0.05 || fail "wide window: black top rows"
brighter "$(mean wide.png 1600x4+0+86)" 0.05 || fail "wide window: black bottom rows"
# Back at 320 x 180: the picture reaches the edges again (the aspect recovered).
size=$(identify -format '%wx%h' back.png)
[ "$size" = 320x180 ] || fail "window is $size after the way back"
brighter "$(mean back.png 320x4+0+0)" 0.05 || fail "16:9 again: black top rows"
brighter "$(mean back.png 320x4+0+176)" 0.05 || fail "16:9 again: black bottom rows"
echo "resized to 4x3, 1x1, 1600x90, 90x900, unmapped, 320x180: exit 0, GL errors $errors"
cd /
rm -rf "$WORK"
exit 0
