#!/usr/bin/env bash
# The render farm (scripts/farm.sh) on this machine as two job slots: the
# joined frames and soundtrack.wav are those of one kestrel capture of the
# interval; a segment killed half-way is rendered again; a run killed
# mid-way resumes and renders only the segments it had not finished; hosts
# without the program or the data are named and left out; usage errors exit 2.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
# Its captures run on an X server of their own: their windows must not cover those
# of the tests that read their windows back from the shared display.
[ -n "${KESTREL_OWN_DISPLAY:-}" ] ||
  KESTREL_OWN_DISPLAY=1 exec xvfb-run -a -n 210 -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" bash "$0" "$@"
build=$(cd "$1" && pwd -P)
src=$(cd "$2" && pwd -P)
farm="$src/scripts/farm.sh"
work=$(mktemp -d /tmp/kfarmXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
complain() { echo "FAIL: $*"; fail=1; }
export SDL_AUDIODRIVER=dummy
frames_in() { ls "$1" 2>/dev/null | grep -c '^frame_[0-9]\{5\}\.png$'; }
capture=(--mode 320x180 --fps 8 --data "$build/data")

# ---- the reference: one capture of [20, 21) s, 8 frames ----
"$build/kestrel" "${capture[@]}" --capture one --from 20 --to 21 --log one.log >/dev/null 2>&1 || complain "one capture exited $?"
[ "$(frames_in one)" -eq 8 ] || complain "the one capture wrote $(frames_in one) frames"

# The farm below cuts [20, 21) into four segments of two frames, at 20.25,
# 20.5 and 20.75 s. A captured frame's film grain is seeded by its place in
# the show, so every joined frame must be the one long capture's.
mkdir -p expected && cp one/frame_*.png expected/
same_as_expected() {   # $1: folder; the frames and the WAV of the one capture
  [ "$(frames_in "$1")" -eq 8 ] || { complain "$2: $(frames_in "$1") frames, expected 8"; return; }
  for f in expected/frame_*.png; do
    cmp -s "$f" "$1/$(basename "$f")" || complain "$2: $(basename "$f") is not the one capture's"
  done
  cmp -s one/soundtrack.wav "$1/soundtrack.wav" || complain "$2: soundtrack.wav is not the one capture's"
  ls "$1" | grep -qv '^frame_[0-9]\{5\}\.png$\|^soundtrack\.wav$' && complain "$2: other files in the target: $(ls "$1" | head -3)"
}

# The program the farm runs: the real kestrel, logging each segment it is
# asked for; in the modes below it kills a segment half-way or hangs in one.
cat >kestrel-wrapper <<EOF
#!/usr/bin/env bash
seg=\$(sed -n 's/.*--capture \([^ ]*\).*/\1/p' <<<"\$*")
[ -z "\$seg" ] || echo "\$seg" >>"$work/renders.log"
if [ "\${FARM_TEST_MODE:-}" = kill ] && [ "\$seg" = seg_0001 ] && mkdir "$work/killed" 2>/dev/null; then
  "$build/kestrel" "\$@" & pid=\$!
  while [ ! -e "\$seg/frame_00000.png" ] && kill -0 \$pid 2>/dev/null; do sleep 0.05; done
  kill -TERM \$pid; wait \$pid; exit \$?
fi
if [ "\${FARM_TEST_MODE:-}" = hang ] && [ "\$seg" = seg_0002 ]; then exec sleep 600; fi
exec "$build/kestrel" "\$@"
EOF
chmod +x kestrel-wrapper

# ---- two slots, four segments, seg_0001 killed after its first frame ----
: >renders.log
FARM_TEST_MODE=kill bash "$farm" --jobs 2 --segments 4 --program ./kestrel-wrapper -- "${capture[@]}" \
  --capture joined --from 20 --to 21 >farm.out 2>&1 || complain "the farm exited $?: $(tail -3 farm.out)"
[ -d killed ] || complain "the wrapper never killed seg_0001"
[ "$(sort renders.log | tr '\n' ' ')" = "seg_0000 seg_0001 seg_0001 seg_0002 seg_0003 " ] ||
  complain "segments rendered: $(sort renders.log | tr '\n' ' '), expected seg_0001 twice and the others once"
same_as_expected joined "two slots"
[ -e joined.farm ] && complain "the work folder joined.farm was left behind"

# ---- the same target again: refused without --overwrite ----
bash "$farm" --jobs 2 --program ./kestrel-wrapper -- "${capture[@]}" --capture joined --from 20 --to 21 >/dev/null 2>&1
[ $? -eq 2 ] || complain "a target holding a capture was not refused with exit 2"

# ---- one slot, killed while rendering seg_0002, then resumed ----
: >renders.log
FARM_TEST_MODE=hang setsid bash "$farm" --jobs 1 --segments 4 --program ./kestrel-wrapper -- "${capture[@]}" \
  --capture resumed --from 20 --to 21 >killed.out 2>&1 &
leader=$!
for _ in $(seq 600); do grep -q seg_0002 renders.log && break; sleep 0.1; done
grep -q seg_0002 renders.log || complain "the first run never reached seg_0002"
kill -KILL -- -"$leader" 2>/dev/null
wait "$leader" 2>/dev/null
[ "$(frames_in resumed)" -eq 0 ] || complain "the killed run joined frames"
: >renders.log
bash "$farm" --jobs 1 --segments 4 --program ./kestrel-wrapper -- "${capture[@]}" \
  --capture resumed --from 20 --to 21 >resumed.out 2>&1 || complain "the resumed farm exited $?: $(tail -3 resumed.out)"
[ "$(sort renders.log | tr '\n' ' ')" = "seg_0002 seg_0003 " ] ||
  complain "the resumed run rendered: $(sort renders.log | tr '\n' ' '), expected seg_0002 seg_0003"
grep -q "resuming" resumed.out || complain "the resumed run did not say it resumes"
same_as_expected resumed "resumed"

# ---- where the cuts may go ----
# A cut must start at a time a 32-bit float holds (the program reads --from
# so) and on a whole sample of the WAV (frames x 44100 / fps). At 24 fps from
# 20 s that is every 6th frame (1/8 s holds 3 frames, 3 x 44100 / 24 is not
# whole); at 30 fps every 15th (half a second). Eight segments asked for at
# 24 fps become four, four at 30 fps become two, and the WAV stays the one
# capture's.
for rate in 24:8:4 30:4:2; do
  IFS=: read -r r asked made <<<"$rate"
  "$build/kestrel" --mode 64x36 --fps "$r" --data "$build/data" --capture "cut$r-one" --from 20 --to 21 --log cut.log \
    >/dev/null 2>&1 || complain "the $r fps capture exited $?"
  bash "$farm" --jobs 2 --segments "$asked" --program "$build/kestrel" -- --mode 64x36 --fps "$r" --data "$build/data" \
    --capture "cut$r" --from 20 --to 21 >"cut$r.out" 2>&1 || complain "the $r fps farm exited $?: $(tail -3 "cut$r.out")"
  grep -q "farm: $made segments" "cut$r.out" || complain "at $r fps: $(head -1 "cut$r.out"), expected $made segments"
  [ "$(frames_in "cut$r")" -eq "$r" ] || complain "at $r fps: $(frames_in "cut$r") frames joined"
  cmp -s "cut$r-one/soundtrack.wav" "cut$r/soundtrack.wav" || complain "at $r fps: soundtrack.wav is not the one capture's"
  cmp -s "cut$r-one/frame_00005.png" "cut$r/frame_00005.png" || complain "at $r fps: frame 5 is not the one capture's"
done

# ---- to the show's end: the last segment stops where the program stops ----
"$build/kestrel" "${capture[@]}" --capture end-one --from 184 --log end.log >/dev/null 2>&1 || complain "capture to the end exited $?"
bash "$farm" --jobs 2 --segments 2 --program "$build/kestrel" -- "${capture[@]}" --capture end-farm --from 184 --to 999 \
  >end.out 2>&1 || complain "the farm to the end exited $?: $(tail -3 end.out)"
grep -q "farm: 2 segments" end.out || complain "the farm to the end did not make 2 segments: $(head -2 end.out)"
[ "$(frames_in end-farm)" -eq "$(frames_in end-one)" ] && [ "$(frames_in end-one)" -gt 2 ] ||
  complain "to the end: the farm joined $(frames_in end-farm) frames, one capture wrote $(frames_in end-one)"
cmp -s end-one/soundtrack.wav end-farm/soundtrack.wav || complain "to the end: soundtrack.wav is not the one capture's"
cmp -s end-one/frame_00000.png end-farm/frame_00000.png || complain "to the end: the first frame is not the one capture's"

# ---- an .mp4: the joined frames and sound encoded, 8 frames and 1 s of sound ----
# (without a display: each segment gets an X server of its own from xvfb-run)
env -u DISPLAY bash "$farm" --jobs 2 --segments 2 --program "$build/kestrel" -- "${capture[@]}" --capture clip.mp4 --from 20 --to 21 \
  >mp4.out 2>&1 || complain "the farm to an .mp4 exited $?: $(tail -3 mp4.out)"
probe() { ffprobe -v error -select_streams "$1" -show_entries "stream=$2" -of csv=p=0 clip.mp4 2>/dev/null; }
[ "$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 clip.mp4 2>/dev/null)" = 8 ] ||
  complain "the .mp4 does not hold 8 frames"
awk -v a="$(probe a duration)" 'BEGIN { exit !(a > 0.99 && a < 1.03) }' || complain "the .mp4's sound lasts '$(probe a duration)' s"
[ -e clip.mp4.farm ] && complain "clip.mp4.farm was left behind"

# ---- hosts: one without the program, one without the data, one that does not answer, and this machine ----
# An ssh stand-in runs each host's commands here, with the host's own PATH:
# noprog has no kestrel, nodata a copy of kestrel with no data beside it.
mkdir -p bin nodata-bin && ln -s "$build/kestrel" bin/kestrel && cp "$build/kestrel" nodata-bin/kestrel
cat >fake-ssh <<EOF
#!/usr/bin/env bash
while [ \$# -gt 0 ]; do case "\$1" in -[oplSiFe]) shift 2 ;; -*) shift ;; *) break ;; esac; done
host=\$1; shift; [ "\${1:-}" = -- ] && shift
case "\$host" in
  noprog) PATH=/usr/bin:/bin ;;
  nodata) PATH="$work/nodata-bin:/usr/bin:/bin" ;;
  *) exit 255 ;;
esac
# sshd gives every session its login shell in SHELL; parallel's remote worker runs
# the command with it, so the stand-in sets it whatever the caller's environment.
export PATH SHELL=/bin/bash; cd "$work" && exec bash -c "\$*"
EOF
chmod +x fake-ssh
printf '# render hosts\n1/:\nnoprog\n1/nodata\ndeadhost\n' >hosts
PATH="$work/bin:$PATH" PARALLEL_SSH="$work/fake-ssh" bash "$farm" --hosts hosts -- --mode 320x180 --fps 8 \
  --capture viahosts --from 20 --to 20.25 >hosts.out 2>&1 || complain "the farm with hosts exited $?: $(tail -3 hosts.out)"
grep -q "host noprog: no program kestrel there" hosts.out || complain "noprog was not named: $(cat hosts.out)"
grep -q "host nodata: kestrel finds no data there" hosts.out || complain "nodata was not named: $(cat hosts.out)"
grep -q "host deadhost: did not answer" hosts.out || complain "deadhost was not named: $(cat hosts.out)"
grep -q "host :" hosts.out && complain "this machine was reported: $(grep 'host :' hosts.out)"
for f in one/frame_00000.png one/frame_00001.png; do
  cmp -s "$f" "viahosts/$(basename "$f")" || complain "the hosts run: $(basename "$f") is not the one capture's"
done
printf 'noprog\n' >hosts-none
PARALLEL_SSH="$work/fake-ssh" bash "$farm" --hosts hosts-none -- --mode 320x180 --fps 8 --capture none --to 1 >none.out 2>&1
[ $? -eq 1 ] || complain "a farm without a usable host did not exit 1"

# ---- usage errors ----
for args in "-- --capture x" "-- --fps 8" "--jobs 0 -- --capture x --fps 8" "-- --capture x --fps 8 --start 3" "--bogus" \
  "--program $build/kestrel -- --capture x --fps 8 --data $build/data --from 999"; do
  # shellcheck disable=SC2086
  bash "$farm" $args >/dev/null 2>&1
  [ $? -eq 2 ] || complain "farm.sh $args did not exit 2"
done
[ -e x.farm ] && complain "a usage error left x.farm behind"
exit $fail
