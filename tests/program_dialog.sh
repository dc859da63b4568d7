#!/usr/bin/env bash
# The display-mode dialog of a program started without arguments, driven with
# xdotool: Escape, the Cancel button and the close box end the program with
# exit code 0 and leave only the logo and the title block in demo.log; Enter
# runs the show (Xvfb offers no 1280 × 720 mode, so nothing is selected and
# the show opens 1280 × 720 in a window). Args: build dir, source dir.
set -u
BUILD=$(cd "$1" && pwd)
source "$2/tests/program/common.bash"
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
sleep 0.5
tap_key "$id" Escape
wait_exit 30
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after Escape in the dialog"
check_cancelled_log Escape

# The Cancel button (bottom right of the dialog).
rm -f demo.log
start_program
id=$(wait_window "$DIALOG" 60) || fail "no dialog for the Cancel button"
sleep 0.5
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
sleep 0.5
close_window "$id"
wait_exit 30
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after closing the dialog"
check_cancelled_log "close box"

# Enter runs: nothing is selected on Xvfb, so 1280 × 720 in a window.
rm -f demo.log
start_program
id=$(wait_window "$DIALOG" 60) || fail "no dialog for Enter"
sleep 0.5
tap_key "$id" Return
show=$(wait_window "^KESTREL Engine V.0.1$" 120) || fail "Enter did not open the show's window"
geometry=$(xdotool getwindowgeometry "$show" | grep Geometry)
[[ $geometry == *"1280x720"* ]] || fail "the show's window is not 1280x720: $geometry"
xdotool search --all --onlyvisible --pid "$PID" --name "$DIALOG" >/dev/null 2>&1 && fail "the dialog is still open"
sleep 1
tap_key "$show" Escape
wait_exit 120
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after running from the dialog"
grep -q "Compiling default 3D shader" demo.log || fail "the run from the dialog has no default-shader line"

cd / && rm -rf "$WORK"
echo "program dialog tests passed"
