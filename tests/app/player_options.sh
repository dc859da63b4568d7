#!/usr/bin/env bash
# Player options: --list-audio-devices prints and exits 0; --vsync takes only
# on or off; --av-offset only -1000..1000; --mute opens no output device
# (with SDL's "disk" driver asked for, its file stays empty, while the same
# run without --mute writes sound into it); --loop starts the show again
# after its end (clock and music: the log says so, the music starts at 0).
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_build_workdir player_options

code() {   # code WANT ARGS...: the exit code of a run must be WANT
  local want="$1"
  shift
  "$PROGRAM" "$@" >"$WORK/out.txt" 2>&1
  local rc=$?
  [ "$rc" = "$want" ] || { echo "FAIL: kestrel $* exited $rc, wanted $want"; fail=1; }
}

SDL_AUDIODRIVER=dummy code 0 --list-audio-devices
code 2 --vsync maybe
code 2 --vsync
code 2 --av-offset 5000
code 2 --av-offset x
code 2 --audio-device ""
code 0 --mode 96x54 --vsync off --shot 1:"$WORK/off.png"
code 0 --mode 96x54 --vsync on --av-offset -25 --shot 1:"$WORK/on.png"

# live RUN_NAME LOG_TEXT ARGS...: starts a show, waits (at most 60 s) for a
# log line with LOG_TEXT, then ends it by its process id.
live() {
  local name="$1" text="$2"
  shift 2
  rm -f demo.log
  "$PROGRAM" "$@" >"$WORK/$name.out" 2>&1 &
  local pid=$! waited=0
  while [ "$waited" -lt 600 ] && ! grep -qF "$text" demo.log 2>/dev/null; do sleep 0.1; waited=$((waited + 1)); done
  sleep 1
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  cp demo.log "$WORK/$name.log" 2>/dev/null
  grep -qF "$text" "$WORK/$name.log" 2>/dev/null || { echo "FAIL: $name: no log line with: $text"; fail=1; }
}

export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE="$WORK/sound_muted.raw"
live muted "sound: muted, no output device is opened" --mode 96x54 --mute
[ -s "$WORK/sound_muted.raw" ] && { echo "FAIL: --mute still wrote sound to the disk driver"; fail=1; }
export SDL_DISKAUDIOFILE="$WORK/sound_heard.raw"
live heard "music: <./data/barnstomp.mp3> playing" --mode 96x54
[ -s "$WORK/sound_heard.raw" ] || { echo "FAIL: without --mute the disk driver got no sound (the check above proves nothing)"; fail=1; }
unset SDL_AUDIODRIVER SDL_DISKAUDIOFILE

# The show ends at bar 100 (184.615 s at 130 bpm): from 183.5 s it ends
# within about a second and must start again.
live loop "loop: the show starts again (round 2)" --mode 96x54 --mute --loop --start 183.5
grep -qF "music: <./data/barnstomp.mp3> playing from 0.000 s" "$WORK/loop.log" ||
  { echo "FAIL: --loop: the music did not start again from 0"; fail=1; }

[ "$fail" = 0 ] && echo "player options: list, vsync, av-offset, mute and loop behave"
exit "$fail"
