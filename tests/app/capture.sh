#!/usr/bin/env bash
# Offline capture and bench from the command line: option errors exit 2; two
# captures of one interval are byte-identical; frames match --shot stills at
# the same times; soundtrack.wav holds exactly the interval's music; an .mp4
# has video and audio of equal length; --bench prints its table; the log
# carries the start-up phases and the run summary.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
make_build_workdir capture
cd "$BUILD" || exit 1
export SDL_AUDIODRIVER=dummy

# ---- option errors ----
while IFS= read -r args; do
  # shellcheck disable=SC2086
  "$PROGRAM" $args >/dev/null 2>&1
  rc=$?
  [ "$rc" -eq 2 ] || complain "'$args' exited $rc, expected 2"
done <<'LIST'
--fps 10
--capture d
--capture d --fps 0
--capture d --fps 241
--capture d --fps 10 --from 2 --to 1
--capture d --fps 10 --to 0
--capture d --fps 10 --subframes 0
--capture d --fps 10 --subframes 65
--capture d --fps 10 --start 3
--capture d --fps 10 --bench
--capture d --fps 10 --shot 1:a.png
--capture d --fps x
--from 1
--seconds 5
--bench --seconds 0
--bench --seconds -1
LIST

# ---- two captures of one interval (2 sub-frames) are identical ----
for run in a b; do
  "$PROGRAM" --mode 160x90 --capture "$WORK/$run" --fps 4 --from 20 --to 21 --subframes 2 \
    >"$WORK/$run.txt" 2>&1 || complain "capture $run exited $?"
done
count=$(ls "$WORK/a" | grep -c '^frame_[0-9]\{5\}\.png$')
[ "$count" -eq 4 ] || complain "capture wrote $count frames, expected 4"
for f in "$WORK"/a/*; do
  cmp -s "$f" "$WORK/b/$(basename "$f")" || complain "$(basename "$f") differs between two captures"
done
# A capture started later draws the same frames from there on (the grain is
# seeded by each frame's place in the show, not by where the capture began):
# what lets a capture be split and joined.
"$PROGRAM" --mode 160x90 --capture "$WORK/late" --fps 4 --from 20.5 --to 21 --subframes 2 \
  >"$WORK/late.txt" 2>&1 || complain "capture from 20.5 s exited $?"
for n in 0 1; do
  cmp -s "$WORK/late/frame_0000$n.png" "$WORK/a/frame_0000$((n + 2)).png" \
    || complain "frame $n of a capture from 20.5 s differs from frame $((n + 2)) of one from 20 s"
done
size=$(identify -format "%wx%h" "$WORK/a/frame_00000.png" 2>/dev/null)
[ "$size" = "160x90" ] || complain "frame is '$size', expected 160x90"
# The narrowest window there is still has a framebuffer to read.
"$PROGRAM" --mode 1x90 --capture "$WORK/narrow" --fps 4 --from 20 --to 20.25 >"$WORK/narrow.txt" 2>&1 \
  || complain "a capture 1 pixel wide exited $?"
size=$(identify -format "%wx%h" "$WORK/narrow/frame_00000.png" 2>/dev/null)
[ "$size" = "1x90" ] || complain "the 1-pixel-wide capture's frame is '$size', expected 1x90"
grep -q "capture: frame 4 of 4" "$WORK/a.txt" || complain "no progress line for the last frame"

# ---- the soundtrack: exactly [20, 21) s of the music ----
# Compared with ffmpeg's own decoding of the MP3 (a different decoder, so
# close rather than equal); a shift by one sample frame fails.
ffmpeg -v error -i data/barnstomp.mp3 -f s16le -ac 2 -ar 44100 "$WORK/music.raw" \
  || complain "ffmpeg could not decode the soundtrack"
python3 - "$WORK/a/soundtrack.wav" "$WORK/music.raw" <<'PY' || fail=1
import array, sys, wave
w = wave.open(sys.argv[1])
if (w.getnchannels(), w.getsampwidth(), w.getframerate()) != (2, 2, 44100):
    sys.exit("soundtrack.wav is not 16-bit stereo at 44100 Hz")
if w.getnframes() != 44100:
    sys.exit("soundtrack.wav has %d frames, expected 44100" % w.getnframes())
got = array.array("h", w.readframes(44100))
ref = array.array("h", open(sys.argv[2], "rb").read())[20 * 44100 * 2:21 * 44100 * 2]
def err(shift):
    return sum(abs(got[i] - ref[i + shift]) for i in range(4000, 80000, 7)) / len(range(4000, 80000, 7))
level = sum(abs(x) for x in ref[4000:80000:7]) / len(ref[4000:80000:7])
if level < 300:
    sys.exit("the music is nearly silent there (%.0f), the check would prove nothing" % level)
aligned, shifted = err(0), min(err(-2), err(2))   # one stereo frame either way
if not (aligned < 0.02 * level and shifted > 5 * aligned):
    sys.exit("soundtrack.wav does not match the music at 20 s: error %.1f aligned, %.1f shifted, level %.0f"
             % (aligned, shifted, level))
PY

# ---- frames match --shot stills at the same times ----
# The film grain is redrawn per frame, so pictures are compared at 1/10 scale:
# a frame must be much closer to the still of its own time than to the other.
"$PROGRAM" --mode 160x90 --shot "20:$WORK/s0.png" --shot "20.5:$WORK/s1.png" >/dev/null 2>&1 \
  || complain "stills exited $?"
"$PROGRAM" --mode 160x90 --capture "$WORK/m" --fps 2 --from 20 --to 21 >/dev/null 2>&1 \
  || complain "capture m exited $?"
mae() {
  convert "$1" -scale 10% "$WORK/x.png" && convert "$2" -scale 10% "$WORK/y.png" &&
    compare -metric MAE "$WORK/x.png" "$WORK/y.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/'
}
same0=$(mae "$WORK/s0.png" "$WORK/m/frame_00000.png")
same1=$(mae "$WORK/s1.png" "$WORK/m/frame_00001.png")
cross=$(mae "$WORK/s0.png" "$WORK/m/frame_00001.png")
awk -v a="$same0" -v b="$same1" -v c="$cross" 'BEGIN { exit !(a < 0.01 && b < 0.01 && c > 3 * a && c > 3 * b) }' \
  || complain "captured frames vs stills: same time $same0 / $same1, other time $cross"

# ---- .mp4: video and audio of equal length, starting together ----
"$PROGRAM" --mode 160x90 --capture "$WORK/clip.mp4" --fps 10 --from 1 --to 3 >/dev/null 2>&1 \
  || complain "mp4 capture exited $?"
probe() { ffprobe -v error -select_streams "$1" -show_entries "stream=$2" -of csv=p=0 "$WORK/clip.mp4"; }
vd=$(probe v duration); ad=$(probe a duration); vs=$(probe v start_time); as=$(probe a start_time)
vc=$(probe v codec_name),$(probe v pix_fmt)
[ "$vc" = "h264,yuv420p" ] || complain "video stream is '$vc'"
awk -v v="$vd" -v a="$ad" 'BEGIN { d = v - a; exit !(v > 1.99 && v < 2.01 && d < 0.001 && d > -0.001) }' \
  || complain "video $vd s and audio $ad s differ (or are not 2 s)"
[ "$vs" = "$as" ] || complain "video starts at $vs, audio at $as"
ls "$WORK"/clip.mp4.* >/dev/null 2>&1 && complain "temporary files left next to the .mp4"

# ---- bench: a table, no engine allocations per frame, exit 0; the log ----
"$PROGRAM" --mode 160x90 --bench --start 20 --seconds 1 >"$WORK/bench.txt" 2>"$WORK/bench.err" \
  || complain "bench exited $?"
grep -q "^all  *30 " "$WORK/bench.txt" || complain "bench table has no 'all' row of 30 frames"
# (Sanitizer builds keep their own allocator and say they do not count.)
grep -q "0.00 by the engine\|not counted in this build" "$WORK/bench.txt" ||
  complain "the engine allocates per frame: $(grep heap "$WORK/bench.txt")"
# With --hud the display is drawn over every bench frame (its cost is the
# difference of the two tables), and it is released at the end.
"$PROGRAM" --mode 160x90 --bench --hud --start 20 --seconds 1 >"$WORK/bench-hud.txt" 2>"$WORK/bench-hud.err" \
  || complain "bench with --hud exited $?"
grep -q "^all  *30 " "$WORK/bench-hud.txt" || complain "bench with --hud has no 'all' row of 30 frames"
grep -q "^Heads-up display: drawn over 30 bench frames" demo.log || complain "the display was not over the 30 frames"
"$PROGRAM" --mode 160x90 --bench --start 20 --seconds 1 >"$WORK/bench.txt" 2>"$WORK/bench.err" \
  || complain "bench exited $?"
for phase in window resources "data hook" sync "post buffers" music; do
  grep -q "^Start-up phase $phase " demo.log || complain "no start-up phase '$phase' in the log"
done
"$PROGRAM" --mode 160x90 --start 184 >/dev/null 2>&1 || complain "the show's last second exited $?"
grep -q "^Summary: [0-9]* frames rendered .* presented" demo.log || complain "no summary line in the log"
rm -rf "$WORK/a" "$WORK/b" "$WORK/m" "$WORK/music.raw"
exit $fail
