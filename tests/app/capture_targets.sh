#!/usr/bin/env bash
# Capture and bench stop at the show's end; --to past it is clamped; a
# target holding an earlier capture is refused (exit 2) unless --overwrite,
# which removes only that capture's frames and soundtrack.wav.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_short_workdir
use_dummy_sound
read_show_length
ln -s "$BUILD/data" "$WORK/data"
frames_in() { ls "$1" 2>/dev/null | grep -c '^frame_[0-9]\{5\}\.png$'; }
# Frames of 1/2 s from 183 s that start before the end.
expected=$(awk -v l="$SHOW_LENGTH" 'BEGIN { n = 0; for (t = 183; t < l; t += 0.5) n++; print n }')

# ---- the end stops the capture: [183, end) at 2 fps, without --to and with --to 999 ----
"$PROGRAM" --mode 64x36 --capture "$WORK/end" --fps 2 --from 183 >/dev/null 2>&1 || complain "capture to the end exited $?"
[ "$(frames_in "$WORK/end")" -eq "$expected" ] || complain "capture to the end wrote $(frames_in "$WORK/end") frames, expected $expected"
wav=$(stat -c %s "$WORK/end/soundtrack.wav" 2>/dev/null || echo 0)
[ "$wav" -eq $((44 + expected * 22050 * 4)) ] || complain "soundtrack.wav holds $wav bytes for $expected frames"
"$PROGRAM" --mode 64x36 --capture "$WORK/clamped" --fps 2 --from 183 --to 999 >/dev/null 2>&1 || complain "--to 999 exited $?"
[ "$(frames_in "$WORK/clamped")" -eq "$expected" ] || complain "--to 999 wrote $(frames_in "$WORK/clamped") frames"

# ---- the bench stops at the end too ----
bench_frames=$(awk -v l="$SHOW_LENGTH" 'BEGIN { n = 0; for (i = 0; 183 + i / 30 < l; i++) n++; print n }')
"$PROGRAM" --mode 64x36 --bench --start 183 --seconds 600 >"$WORK/bench.txt" 2>/dev/null || complain "bench to the end exited $?"
grep -q "^all  *$bench_frames " "$WORK/bench.txt" || complain "bench to the end: $(grep '^all' "$WORK/bench.txt"), expected $bench_frames frames"

# ---- an earlier capture in the folder: refused, then replaced with --overwrite ----
"$PROGRAM" --mode 64x36 --capture "$WORK/end" --fps 2 --from 183 >/dev/null 2>"$WORK/refused.err"
rc=$?
[ "$rc" -eq 2 ] || complain "a capture over an earlier one exited $rc"
grep -q "$WORK/end already holds an earlier capture ($expected frame_\*.png files, soundtrack.wav); add --overwrite" \
  "$WORK/refused.err" || complain "the refusal does not name what is there: $(cat "$WORK/refused.err")"
for i in $(seq 0 9); do printf 'old' >"$WORK/end/frame_0000$i.png"; done
printf 'keep' >"$WORK/end/notes.txt"
printf 'keep' >"$WORK/end/frame_notes.png"
"$PROGRAM" --mode 64x36 --capture "$WORK/end" --fps 2 --from 183 --overwrite >/dev/null 2>&1 || complain "--overwrite exited $?"
[ "$(frames_in "$WORK/end")" -eq "$expected" ] || complain "--overwrite left $(frames_in "$WORK/end") frames, expected $expected"
grep -l "^old$" "$WORK"/end/frame_*.png 2>/dev/null | grep -q . && complain "--overwrite kept frames of the earlier capture"
[ -e "$WORK/end/notes.txt" ] && [ -e "$WORK/end/frame_notes.png" ] || complain "--overwrite removed files that are not frames"
# a folder with only soundtrack.wav is an earlier capture too
mkdir -p "$WORK/sound" && printf 'x' >"$WORK/sound/soundtrack.wav"
"$PROGRAM" --mode 64x36 --capture "$WORK/sound" --fps 2 --from 183 >/dev/null 2>&1
[ $? -eq 2 ] || complain "a folder holding soundtrack.wav was not refused"

# ---- an existing .mp4 ----
printf 'old' >"$WORK/v.mp4"
"$PROGRAM" --mode 64x36 --capture "$WORK/v.mp4" --fps 2 --from 183 >/dev/null 2>"$WORK/mp4.err"
rc=$?
[ "$rc" -eq 2 ] && grep -q "$WORK/v.mp4 already exists; add --overwrite" "$WORK/mp4.err" || complain "an existing .mp4 exited $rc"
[ "$(cat "$WORK/v.mp4")" = old ] || complain "the refused capture touched the .mp4"
"$PROGRAM" --mode 64x36 --capture "$WORK/v.mp4" --fps 2 --from 183 --overwrite >/dev/null 2>&1 || complain ".mp4 --overwrite exited $?"
count=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/v.mp4")
[ "$count" = "$expected" ] || complain "the replaced .mp4 holds '$count' frames, expected $expected"
exit $fail
