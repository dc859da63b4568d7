#!/usr/bin/env bash
# The display-mode dialog of a program started without arguments, driven with
# xdotool: Escape, the Cancel button, the close box and Space on a tabbed-to
# Cancel end the program with exit code 0 and leave only the logo and the title
# block in demo.log; Enter runs the show. Xvfb offers one mode, the screen's
# own size and no 1280 × 720, so that mode is preselected: Enter opens a window
# of the screen's size, Space first makes it full screen, Up and Down keep the
# only entry. Args: build dir, source dir.
set -u
source "$2/tests/support/program.bash" "$1" "$2"
hold_display
enter_workdir dialog
DIALOG="^Wrenfold Demo System$"

check_cancelled_log() {
  check_log_head
  [ "$(wc -l <demo.log)" -eq 11 ] || fail "$1: the log holds more than the logo and the title block"
}

# Escape cancels.
start_program
id=$(wait_window "$DIALOG" 60) || fail "no dialog titled 'Wrenfold Demo System'"
geometry=$(xdotool getwindowgeometry "$id" | grep Geometry)
[[ $geometry == *"279x185"* ]] || fail "dialog is not 279x185: $geometry"
wait_drawn "$id" || fail "the dialog never drew itself"
tap_key "$id" Escape
wait_exit 30
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after Escape in the dialog"
check_cancelled_log Escape

# The Cancel button (bottom right of the dialog).
rm -f demo.log
start_program
id=$(wait_window "$DIALOG" 60) || fail "no dialog for the Cancel button"
wait_drawn "$id" || fail "the dialog never drew itself"
xdotool mousemove --window "$id" 231 166
sleep 0.3
xdotool click --window "$id" 1
wait_exit 30
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after Cancel"
check_cancelled_log Cancel

# The close box.
rm -f demo.log
start_program
id=$(wait_window "$DIALOG" 60) || fail "no dialog for the close box"
wait_drawn "$id" || fail "the dialog never drew itself"
close_window "$id"
wait_exit 30
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after closing the dialog"
check_cancelled_log "close box"

# Tab three times reaches Cancel; Space there cancels.
rm -f demo.log
start_program
id=$(wait_window "$DIALOG" 60) || fail "no dialog for Tab and Space"
wait_drawn "$id" || fail "the dialog never drew itself"
for key in Tab Tab Tab space; do tap_key "$id" "$key"; sleep 0.2; done
wait_exit 30
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after Space on Cancel"
check_cancelled_log "Space on Cancel"

read -r SCREEN_W SCREEN_H < <(xdotool getdisplaygeometry)
SCREEN="${SCREEN_W}x${SCREEN_H}"
WINDOW="^KESTREL Engine V.0.1$"
FULL="^Fullscreen, yay!$"

# Starts the program, taps the keys given after the first two arguments into
# the dialog, then wants a show window titled $1 of size $2, and ends the show.
run_with_keys() {
  local title=$1 size=$2 keys="${*:3}"
  shift 2
  rm -f demo.log
  start_program
  id=$(wait_window "$DIALOG" 60) || fail "no dialog for $keys"
  wait_drawn "$id" || fail "the dialog never drew itself"
  for key in "$@"; do tap_key "$id" "$key"; sleep 0.2; done
  show=$(wait_window "$title" 120) || fail "$keys did not open a window titled '$title'"
  geometry=$(xdotool getwindowgeometry "$show" | grep Geometry)
  [[ $geometry == *"$size"* ]] || fail "after $keys the show's window is not $size: $geometry"
  xdotool search --all --onlyvisible --pid "$PID" --name "$DIALOG" >/dev/null 2>&1 && fail "the dialog is still open"
  sleep 1
  tap_key "$show" Escape
  wait_exit 120
  [ "$STATUS" -eq 0 ] || fail "exit code $STATUS after running with $keys"
  grep -q "Compiling default 3D shader" demo.log || fail "the run after $keys has no default-shader line"
}

# Enter runs the preselected screen-sized mode in a window.
run_with_keys "$WINDOW" "$SCREEN" Return
# Space ticks "Fullscreen:": the same mode on the monitor.
run_with_keys "$FULL" "$SCREEN" space Return
# Down and Up stay on the only entry; three Spaces leave the box ticked.
run_with_keys "$FULL" "$SCREEN" Down Up space space space Return
# Tab to the box, Space ticks it, Tab to Run, Space runs.
run_with_keys "$FULL" "$SCREEN" Tab space Tab space

cd / && rm -rf "$WORK"
echo "program dialog tests passed"
