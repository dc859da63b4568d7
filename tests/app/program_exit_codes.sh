#!/usr/bin/env bash
# Exit codes: 0 done, 1 could not do what was asked (with the system's reason),
# 2 usage errors, among them times at or past the show's end (naming its length).
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_short_workdir
use_dummy_sound
copy_bare_program
read_show_length
ln -s "$BUILD/data" "$WORK/data"

# expect CODE TEXT ARGS...: runs the program, checks its code and that stderr holds TEXT.
expect() {
  local code=$1 text=$2
  shift 2
  "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
  local rc=$?
  [ "$rc" -eq "$code" ] || complain "'$*' exited $rc, expected $code: $(tail -2 "$WORK/err.txt")"
  grep -qF -- "$text" "$WORK/err.txt" || complain "'$*': no '$text' on stderr: $(tail -2 "$WORK/err.txt")"
}

# ---- no display, no data ----
expect 1 "X11: The DISPLAY environment variable is missing" env -u DISPLAY "$PROGRAM" --shot "5:$WORK/a.png" --mode 64x36
if [ ! -e /tmp/.X11-unix/X99 ]; then
  expect 1 "Failed to open display :99" env DISPLAY=:99 "$PROGRAM" --shot "5:$WORK/a.png" --mode 64x36
fi
(cd / && expect 1 "name one with --data DIR" "$WORK/bare/kestrel" --mode 64x36)

# ---- stills that cannot be written ----
expect 1 "No such file or directory" "$PROGRAM" --mode 64x36 --shot "5:$WORK/missing/dir/a.png"
expect 1 'could not write still "/proc/a.png"' "$PROGRAM" --mode 64x36 --shot "5:/proc/a.png"
# one bad still among good ones still fails the run, the good ones are written
expect 1 "could not write still" "$PROGRAM" --mode 64x36 --shot "5:$WORK/ok.png" --shot "6:$WORK/missing/b.png"
[ -s "$WORK/ok.png" ] || complain "the good still was not written"

# ---- capture without ffmpeg, or into a place that cannot be made ----
mkdir -p "$WORK/emptybin"
expect 1 "ffmpeg: No such file or directory" env PATH="$WORK/emptybin" "$PROGRAM" --mode 64x36 \
  --capture "$WORK/v.mp4" --fps 2 --from 10 --to 11
ls "$WORK"/v.mp4* >/dev/null 2>&1 && complain "a capture without ffmpeg left $(ls "$WORK"/v.mp4*)"
expect 1 "could not be made" "$PROGRAM" --mode 64x36 --capture "/proc/frames" --fps 2 --from 10 --to 11

# ---- usage errors ----
expect 2 "unknown option '--no-such-option'" "$PROGRAM" --no-such-option
expect 2 "--overwrite goes with --capture" "$PROGRAM" --overwrite
expect 2 "bad value for --data" "$PROGRAM" --data ""
rm -f "$WORK/demo.log"
past_end=$(awk -v l="$SHOW_LENGTH" 'BEGIN { printf "%.3f", l + 0.001 }')
for args in "--start 999" "--shot 999:$WORK/x.png" "--capture $WORK/late --fps 2 --from 999" \
            "--start $past_end" "--bench --start 999"; do
  # shellcheck disable=SC2086
  expect 2 "(its length is $SHOW_LENGTH s)" "$PROGRAM" --mode 64x36 $args
done
[ -e "$WORK/x.png" ] || [ -e "$WORK/late" ] && complain "a refused run wrote something"
[ -e "$WORK/demo.log" ] && complain "a refused run started the log"

# ---- success: a start just before the end plays to the end and stops by itself ----
just_before=$(awk -v l="$SHOW_LENGTH" 'BEGIN { printf "%.3f", l - 0.001 }')
expect 0 "Start-up phase" timeout 120 "$PROGRAM" --mode 64x36 --start "$just_before"

expect 0 "Start-up phase" "$PROGRAM" --mode 64x36 --shot "5:$WORK/good.png"
[ -s "$WORK/good.png" ] || complain "no still from a normal --shot"
"$PROGRAM" --help | grep -q "Exit codes: 0 the show ended" || complain "--help does not give the exit codes"
exit $fail
