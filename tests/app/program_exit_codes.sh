#!/usr/bin/env bash
# Exit codes: 0 done, 1 could not do what was asked (with the system's reason),
# 2 usage errors, among them times at or past the show's end (naming its length).
# Arguments: build directory, source directory. Needs a display (xvfb-run).
source "$(dirname "$0")/lib.bash" "$1" "$2"
ln -s "$build/data" "$work/data"

# expect CODE TEXT ARGS...: runs the program, checks its code and that stderr holds TEXT.
expect() {
  local code=$1 text=$2
  shift 2
  "$@" >"$work/out.txt" 2>"$work/err.txt"
  local rc=$?
  [ "$rc" -eq "$code" ] || complain "'$*' exited $rc, expected $code: $(tail -2 "$work/err.txt")"
  grep -qF -- "$text" "$work/err.txt" || complain "'$*': no '$text' on stderr: $(tail -2 "$work/err.txt")"
}

# ---- no display, no data ----
expect 1 "X11: The DISPLAY environment variable is missing" env -u DISPLAY "$program" --shot "5:$work/a.png" --mode 64x36
if [ ! -e /tmp/.X11-unix/X99 ]; then
  expect 1 "Failed to open display :99" env DISPLAY=:99 "$program" --shot "5:$work/a.png" --mode 64x36
fi
(cd / && expect 1 "name one with --data DIR" "$work/bare/kestrel" --mode 64x36)

# ---- stills that cannot be written ----
expect 1 "No such file or directory" "$program" --mode 64x36 --shot "5:$work/missing/dir/a.png"
expect 1 'could not write still "/proc/a.png"' "$program" --mode 64x36 --shot "5:/proc/a.png"
# one bad still among good ones still fails the run, the good ones are written
expect 1 "could not write still" "$program" --mode 64x36 --shot "5:$work/ok.png" --shot "6:$work/missing/b.png"
[ -s "$work/ok.png" ] || complain "the good still was not written"

# ---- capture without ffmpeg, or into a place that cannot be made ----
mkdir -p "$work/emptybin"
expect 1 "ffmpeg: No such file or directory" env PATH="$work/emptybin" "$program" --mode 64x36 \
  --capture "$work/v.mp4" --fps 2 --from 10 --to 11
ls "$work"/v.mp4* >/dev/null 2>&1 && complain "a capture without ffmpeg left $(ls "$work"/v.mp4*)"
expect 1 "could not be made" "$program" --mode 64x36 --capture "/proc/frames" --fps 2 --from 10 --to 11

# ---- usage errors ----
expect 2 "unknown option '--no-such-option'" "$program" --no-such-option
expect 2 "--overwrite goes with --capture" "$program" --overwrite
expect 2 "bad value for --data" "$program" --data ""
rm -f "$work/demo.log"
past_end=$(awk -v l="$show_length" 'BEGIN { printf "%.3f", l + 0.001 }')
for args in "--start 999" "--shot 999:$work/x.png" "--capture $work/late --fps 2 --from 999" \
            "--start $past_end" "--bench --start 999"; do
  # shellcheck disable=SC2086
  expect 2 "(its length is $show_length s)" "$program" --mode 64x36 $args
done
[ -e "$work/x.png" ] || [ -e "$work/late" ] && complain "a refused run wrote something"
[ -e "$work/demo.log" ] && complain "a refused run started the log"

# ---- success: a start just before the end plays to the end and stops by itself ----
just_before=$(awk -v l="$show_length" 'BEGIN { printf "%.3f", l - 0.001 }')
expect 0 "Start-up phase" timeout 120 "$program" --mode 64x36 --start "$just_before"

expect 0 "Start-up phase" "$program" --mode 64x36 --shot "5:$work/good.png"
[ -s "$work/good.png" ] || complain "no still from a normal --shot"
"$program" --help | grep -q "Exit codes: 0 the show ended" || complain "--help does not give the exit codes"
exit $fail
