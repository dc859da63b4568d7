#!/usr/bin/env bash
# SIGINT and SIGTERM end the show as Escape does: exit 130 / 143, resources
# released, the Summary (main loop) or Bench line logged; an interrupted
# capture keeps its frames and sound and leaves no temporary file.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_short_workdir
use_dummy_sound
ln -s "$BUILD/data" "$WORK/data"

# wait_for FILE TEXT: until FILE holds TEXT (the program in $pid still running).
wait_for() {
  for _ in $(seq 1 1200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# interrupt SIGNAL CODE LOG WAITFILE WAITTEXT ARGS...: starts, waits, signals, checks the code.
interrupt() {
  local signal=$1 code=$2 log=$3 file=$4 text=$5
  shift 5
  "$PROGRAM" --log "$WORK/$log" "$@" >"$WORK/$log.out" 2>"$WORK/$log.err" &
  pid=$!
  if ! wait_for "$file" "$text"; then
    complain "'$*' never showed '$text'"
    kill -KILL "$pid" 2>/dev/null
  fi
  kill "-$signal" "$pid"
  wait "$pid"
  local rc=$?
  [ "$rc" -eq "$code" ] || complain "'$*' after SIG$signal exited $rc, expected $code"
}

for pair in "INT 130" "TERM 143"; do
  set -- $pair
  interrupt "$1" "$2" "loop_$1.log" "$WORK/loop_$1.log" "first frame" --mode 160x90
  grep -q "^Summary: " "$WORK/loop_$1.log" || complain "no Summary line after SIG$1"
done

interrupt INT 130 bench.log "$WORK/bench.log" "first frame" --mode 64x36 --bench
grep -q "^Bench: " "$WORK/bench.log" || complain "no Bench line after SIGINT"
grep -q "^all " "$WORK/bench.log.out" || complain "no bench table after SIGINT"

# ---- a capture into a folder: the frames so far, their sound, nothing else ----
interrupt TERM 143 cap.log "$WORK/cap.log.err" "capture: frame \([3-9]\|[1-9][0-9]\+\) of" --mode 64x36 --capture "$WORK/cap" --fps 60
frames=$(ls "$WORK/cap" | grep -c '^frame_[0-9]\{5\}\.png$')
[ "$frames" -ge 3 ] || complain "the interrupted capture kept $frames frames"
[ -s "$WORK/cap/soundtrack.wav" ] || complain "the interrupted capture has no soundtrack.wav"
other=$(ls "$WORK/cap" | grep -v '^frame_[0-9]\{5\}\.png$' | grep -v '^soundtrack\.wav$')
[ -z "$other" ] || complain "the interrupted capture left $other"
wav_bytes=$(stat -c %s "$WORK/cap/soundtrack.wav")
[ "$wav_bytes" -eq $((44 + frames * 735 * 4)) ] || complain "soundtrack.wav of $wav_bytes bytes for $frames frames"
grep -q "interrupted by signal 15 after $frames frames" "$WORK/cap.log" || complain "the log does not say the capture was interrupted"

# ---- an .mp4: a playable file of what was captured, or none; no temporaries ----
interrupt INT 130 mp4.log "$WORK/mp4.log.err" "capture: frame \([3-9]\|[1-9][0-9]\+\) of" --mode 64x36 --capture "$WORK/v.mp4" --fps 60
ls "$WORK"/v.mp4.* >/dev/null 2>&1 && complain "the interrupted .mp4 left $(ls "$WORK"/v.mp4.*)"
if [ -e "$WORK/v.mp4" ]; then
  streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$WORK/v.mp4" | sort | tr '\n' ' ')
  [ "$streams" = "audio video " ] || complain "the interrupted .mp4 holds '$streams'"
  grep -q "holds those frames with their sound" "$WORK/mp4.log" || complain "the log does not name the kept .mp4"
else
  grep -q "removed\|was not made" "$WORK/mp4.log" || complain "the .mp4 is gone without a word in the log"
fi
exit $fail
