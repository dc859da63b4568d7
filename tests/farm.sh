#!/usr/bin/env bash
# The render farm (scripts/farm.sh) on this machine as two job slots: the
# joined frames and soundtrack.wav are those of one kestrel capture of the
# interval; a segment killed half-way is rendered again; a run killed
# mid-way resumes and renders only the segments it had not finished; hosts
# without the program or the data are named and left out; usage errors exit 2.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
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
# 20.5 and 20.75 s. A capture draws its film grain from one random sequence
# that starts with the capture, so frames after a cut can match the one long
# capture only when the program's frames do not depend on where a capture
# starts; that is checked here, and where they do, each joined frame must be
# the frame a capture of its own segment's interval draws.
invariant=1
for cut in 20.25:20.5 20.5:20.75 20.75:21; do
  "$build/kestrel" "${capture[@]}" --capture "ref_${cut%:*}" --from "${cut%:*}" --to "${cut#*:}" --log ref.log >/dev/null 2>&1 ||
    complain "capture of $cut exited $?"
done
cmp -s ref_20.5/frame_00000.png one/frame_00004.png || invariant=0
mkdir -p expected && cp one/frame_0000[01].png expected/
i=2
for seg in ref_20.25 ref_20.5 ref_20.75; do
  for k in 0 1; do
    if [ $invariant = 1 ]; then cp "one/frame_0000$i.png" "expected/frame_0000$i.png"; else cp "$seg/frame_0000$k.png" "expected/frame_0000$i.png"; fi
    i=$((i + 1))
  done
done
[ $invariant = 1 ] || echo "NOTE: kestrel's captures depend on where they start (film grain): frames after a cut are compared with captures of their segments"
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

# ---- hosts: one without the program, one without the data, and this machine ----
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
export PATH; cd "$work" && exec bash -c "\$*"
EOF
chmod +x fake-ssh
printf '# render hosts\n1/:\nnoprog\n1/nodata\n' >hosts
PATH="$work/bin:$PATH" PARALLEL_SSH="$work/fake-ssh" bash "$farm" --hosts hosts -- --mode 320x180 --fps 8 \
  --capture viahosts --from 20 --to 20.25 >hosts.out 2>&1 || complain "the farm with hosts exited $?: $(tail -3 hosts.out)"
grep -q "host noprog: no program kestrel there" hosts.out || complain "noprog was not named: $(cat hosts.out)"
grep -q "host nodata: kestrel finds no data there" hosts.out || complain "nodata was not named: $(cat hosts.out)"
grep -q "host :" hosts.out && complain "this machine was reported: $(grep 'host :' hosts.out)"
for f in one/frame_00000.png one/frame_00001.png; do
  cmp -s "$f" "viahosts/$(basename "$f")" || complain "the hosts run: $(basename "$f") is not the one capture's"
done
printf 'noprog\n' >hosts-none
PARALLEL_SSH="$work/fake-ssh" bash "$farm" --hosts hosts-none -- --mode 320x180 --fps 8 --capture none --to 1 >none.out 2>&1
[ $? -eq 1 ] || complain "a farm without a usable host did not exit 1"

# ---- usage errors ----
for args in "-- --capture x" "-- --fps 8" "--jobs 0 -- --capture x --fps 8" "-- --capture x --fps 8 --start 3" "--bogus"; do
  # shellcheck disable=SC2086
  bash "$farm" $args >/dev/null 2>&1
  [ $? -eq 2 ] || complain "farm.sh $args did not exit 2"
done
exit $fail
