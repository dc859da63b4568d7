#!/usr/bin/env bash
# The render farm: one kestrel capture split into segments on frame boundaries,
# rendered through GNU parallel on this machine and/or over ssh, and joined
# into the frames and soundtrack.wav (or the .mp4) one capture would write.
# Usage: see usage() below and docs/farm.md.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: farm.sh [--hosts FILE] [--jobs N] [--program PATH] [--segments N] [--retries N] -- CAPTURE OPTIONS
  --hosts FILE    GNU parallel sshlogin file, one host a line ("N/user@host", ":" is this
                  machine); default: this machine only
  --jobs N        job slots on each host (default: one per core; a line's own "N/" wins)
  --program PATH  the kestrel to run on each host (default: kestrel on each host's PATH)
  --segments N    how many segments to split the capture into (default: 4 per job slot,
                  a host without a count taken to have this machine's cores)
  --retries N     times a failed segment is tried in all (default 3)
CAPTURE OPTIONS: --capture DIR|FILE.mp4 --fps N [--from SEC] [--to SEC] [--mode WxH]
                 [--subframes K] [--data DIR] [--overwrite]
Run the same command again to resume an interrupted or failed run: finished
segments are kept (they wait in TARGET.farm/ until the join).
EOF
}
die() { echo "farm: $*" >&2; exit 1; }
usage_error() { echo "farm: $*" >&2; usage >&2; exit 2; }

# ---- options -----------------------------------------------------------------
hosts="" jobs="" program=kestrel segments=0 retries=3
while [ $# -gt 0 ]; do
  case "$1" in
    --hosts) [ $# -ge 2 ] || usage_error "--hosts needs a file"; hosts=$2; shift 2 ;;
    --jobs) [ $# -ge 2 ] || usage_error "--jobs needs a number"; jobs=$2; shift 2 ;;
    --program) [ $# -ge 2 ] || usage_error "--program needs a path"; program=$2; shift 2 ;;
    --segments) [ $# -ge 2 ] || usage_error "--segments needs a number"; segments=$2; shift 2 ;;
    --retries) [ $# -ge 2 ] || usage_error "--retries needs a number"; retries=$2; shift 2 ;;
    --help) usage; exit 0 ;;
    --) shift; break ;;
    *) usage_error "unknown option '$1' (capture options go after --)" ;;
  esac
done
is_count() { [[ "$1" =~ ^[1-9][0-9]{0,5}$ ]]; }
[ -z "$jobs" ] || is_count "$jobs" || usage_error "--jobs takes a whole number from 1"
is_count "$retries" || usage_error "--retries takes a whole number from 1"
[ "$segments" = 0 ] || is_count "$segments" || usage_error "--segments takes a whole number from 1"
[ -z "$hosts" ] || [ -r "$hosts" ] || die "cannot read the hosts file $hosts"

target="" fps="" from="0" to="" mode="1280x720" subframes=1 data="" overwrite=0
while [ $# -gt 0 ]; do
  case "$1" in
    --capture | --fps | --from | --to | --mode | --subframes | --data)
      [ $# -ge 2 ] || usage_error "$1 needs a value"
      case "$1" in
        --capture) target=$2 ;; --fps) fps=$2 ;; --from) from=$2 ;; --to) to=$2 ;;
        --mode) mode=$2 ;; --subframes) subframes=$2 ;; --data) data=$2 ;;
      esac
      shift 2 ;;
    --overwrite) overwrite=1; shift ;;
    *) usage_error "'$1' is not a capture option the farm passes on" ;;
  esac
done
[ -n "$target" ] || usage_error "the capture options need --capture DIR|FILE.mp4"
[ -n "$fps" ] || usage_error "the capture options need --fps N"
[[ "$fps" =~ ^[0-9]+$ ]] && [ "$fps" -ge 1 ] && [ "$fps" -le 240 ] || usage_error "--fps takes 1 to 240"
[[ "$subframes" =~ ^[0-9]+$ ]] && [ "$subframes" -ge 1 ] && [ "$subframes" -le 64 ] || usage_error "--subframes takes 1 to 64"
[[ "$mode" =~ ^([1-9][0-9]{0,4})x([1-9][0-9]{0,4})$ ]] || usage_error "--mode takes WxH"
width=${BASH_REMATCH[1]} height=${BASH_REMATCH[2]}
number='^[0-9]+([.][0-9]*)?$'
[[ "$from" =~ $number ]] || usage_error "--from takes seconds"
[ -z "$to" ] || [[ "$to" =~ $number ]] || usage_error "--to takes seconds"
command -v parallel >/dev/null || die "GNU parallel is missing (Debian package parallel)"
command -v python3 >/dev/null || die "python3 is missing"

# Paths as every host sees them: absolute, so that a shared folder (or the
# same layout on each host) serves them all.
absolute() { case "$1" in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$(pwd -P)" "$1" ;; esac; }
target=$(absolute "${target%/}")
case "$program" in */*) program=$(absolute "$program") ;; esac
[ -z "$data" ] || data=$(absolute "$data")
[ -z "$hosts" ] || hosts=$(absolute "$hosts")
to_video=0
case "${target,,}" in *.mp4) to_video=1 ;; esac
[ $to_video = 0 ] || command -v ffmpeg >/dev/null || die "ffmpeg is missing (it makes the .mp4)"
work="$target.farm"

# A target holding an earlier capture is refused as kestrel refuses it.
if [ $overwrite = 0 ]; then
  if [ $to_video = 1 ]; then
    [ ! -e "$target" ] || usage_error "$target already exists; add --overwrite to replace it"
  elif [ -d "$target" ] && ls "$target" | grep -q '^frame_.*\.png$\|^soundtrack\.wav$'; then
    usage_error "$target already holds an earlier capture; add --overwrite to replace it"
  fi
fi

q() { printf '%q' "$1"; }
# Options parallel gets for the hosts: this machine with N slots, or the file.
# Without --jobs parallel gives each host one slot per core.
jobs_args=() && [ -z "$jobs" ] || jobs_args=(-j "$jobs")
if [ -n "$hosts" ]; then
  host_args=(--sshloginfile "$hosts" "${jobs_args[@]}")
else
  host_args=(-S "${jobs:-$(nproc)}/:")
fi

# ---- which hosts can render --------------------------------------------------
# Each host runs the program's --info (no display needed): a host without the
# program or without the data is named and left out of the run.
data_args="" && [ -z "$data" ] || data_args="--data $(q "$data")"
probe="command -v $(q "$program") >/dev/null 2>&1 || { echo 'FARM-NO-PROGRAM'; exit 1; };
info=\$($(q "$program") --info $data_args 2>&1) || { echo \"FARM-NO-DATA \$info\" | tr '\\n' ' '; echo; exit 1; };
echo \"FARM-OK \$info\" | tr '\\n' ' '; echo"
# Probe and jobs run in the work folder's path on every host (parallel makes
# it on remote hosts), so a data folder found relative to it is found by both.
# 1 when a hosts file names a host other than ":" (this machine).
has_remote() { grep -v '^[[:space:]]*\(#.*\)\?$' "$1" | grep -qv '^[[:space:]]*\([0-9]*/\)\?:[[:space:]]*$'; }
wd_args=()
[ -z "$hosts" ] || ! has_remote "$hosts" || wd_args=(--wd .)
# A work folder this run made goes again if the run ends before its plan is stored.
[ -d "$work" ] || trap 'cd / && rm -rf "$work"' EXIT
mkdir -p "$work"
cd "$work"
parallel --will-cite --nonall --tag "${host_args[@]}" "${wd_args[@]}" "$probe" >probe.txt 2>&1 || true
# The hosts as parallel names them in its tags: the file's lines without "N/".
names=(:)
if [ -n "$hosts" ]; then
  mapfile -t names < <(sed 's/^[[:space:]]*//; s/[[:space:]]*$//; s#^[0-9]*/##; /^#/d; /^$/d' "$hosts")
fi
declare -A said=()
while IFS=$'\t' read -r host line; do
  [ -n "${said[$host]:-}" ] || said[$host]=$line
  case "$line" in FARM-*) said[$host]=$line ;; esac
done <probe.txt
good=() length=""
for host in "${names[@]}"; do
  line=${said[$host]:-}
  case "$line" in
    FARM-OK*)
      good+=("$host")
      [ -n "$length" ] || length=$(sed -n 's/.*show length: \([0-9.]*\) s.*/\1/p' <<<"$line") ;;
    FARM-NO-PROGRAM*) echo "farm: host $host: no program $program there; left out" >&2 ;;
    FARM-NO-DATA*) echo "farm: host $host: $program finds no data there (${line#FARM-NO-DATA }); left out" >&2 ;;
    *) echo "farm: host $host: did not answer (${line:-no output}); left out" >&2 ;;
  esac
done
if [ ${#good[@]} -eq 0 ]; then
  die "no host can render (none has both the program and the data)"
fi
[ -n "$length" ] || die "the program's --info gave no show length"
if [ -n "$hosts" ]; then
  # The hosts file again, without the hosts left out.
  : >"$work/hosts"
  while IFS= read -r entry; do
    name=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//; s#^[0-9]*/##' <<<"$entry")
    for h in "${good[@]}"; do [ "$h" = "$name" ] && echo "$entry" >>"$work/hosts"; done
  done <"$hosts"
  host_args=(--sshloginfile "$work/hosts" "${jobs_args[@]}")
fi

# ---- the plan: segments on frame boundaries ------------------------------------
# Each segment starts where its first frame starts in the one long capture, at
# a time the program reads back exactly (--from is a 32-bit float) and on a
# sample of the soundtrack (the WAV of a segment holds frames x 44100 / fps
# samples), so every frame and sample is the one capture's. The last segment
# ends at --to, or at the show's end when there is none.
slots=${jobs:-$(nproc)}
if [ -n "$hosts" ]; then
  slots=0
  while IFS= read -r entry; do
    n=$(sed -n 's#^[[:space:]]*\([0-9][0-9]*\)/.*#\1#p' <<<"$entry")
    slots=$(( slots + ${n:-${jobs:-$(nproc)}} ))
  done <"$work/hosts"
fi
[ "$segments" != 0 ] || segments=$(( 4 * slots ))
plan=$(python3 - "$from" "$to" "$fps" "$segments" "$length" <<'PY'
import math, struct, sys
from decimal import Decimal
from fractions import Fraction
def f32(text): return struct.unpack("f", struct.pack("f", float(text)))[0]
def is_f32(x): return Fraction(struct.unpack("f", struct.pack("f", float(x)))[0]) == x
start_text, end_text, fps, wanted, length = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
start = f32(start_text)
def usage(message): print("farm: " + message, file=sys.stderr); sys.exit(2)
if start >= length: usage("--from lies at or past the show's end (%s s)" % sys.argv[5])
open_end = not end_text or f32(end_text) >= length
if open_end:   # frames that start before the end (the last segment ends there itself)
    frames = math.ceil((length - start) * fps - 1e-6)
else:
    end = f32(end_text)
    if not end > start: usage("--to must lie after --from")
    frames = math.ceil((end - start) * fps - 1e-6)   # as the program counts them
step = fps // math.gcd(fps, 44100)   # frames whose sound is a whole number of samples
# (--info gives the length to the millisecond: no cut in its last one.)
usable = [a for a in range(step, frames, step)
          if is_f32(Fraction(start) + Fraction(a, fps)) and start + a / fps < length - 0.001]
cuts = []
for i in range(1, min(wanted, frames)):
    ideal = frames * i / wanted
    best = min((a for a in usable if not cuts or a > cuts[-1]), key=lambda a: abs(a - ideal), default=None)
    if best is not None and best not in cuts: cuts.append(best)
bounds = [0] + sorted(set(cuts)) + [frames]
def text(x): return str(Decimal(float(x)))
for i in range(len(bounds) - 1):
    a, b = bounds[i], bounds[i + 1]
    first = text(Fraction(start) + Fraction(a, fps)) if a else start_text
    last = open_end and i == len(bounds) - 2
    upto = "end" if last else (end_text if b == frames else text(Fraction(start) + Fraction(b, fps)))
    print("seg_%04d %d %s %s %s" % (i, a, first, upto, "end" if last else b - a))
PY
) || { status=$?; [ $status -eq 2 ] && exit 2; die "cannot plan the segments"; }
# The plan ties the folder to these options; another run of the same command
# resumes it, a run of other options is refused.
{ echo "options: --fps $fps --subframes $subframes --mode $mode $data_args"; echo "$plan"; } >"$work/plan.new"
if [ -f "$work/plan.txt" ] && ! cmp -s "$work/plan.new" "$work/plan.txt"; then
  usage_error "$work holds a farm run of other capture options; remove it to start again"
fi
resuming=0 && [ -f "$work/plan.txt" ] && resuming=1
mv "$work/plan.new" "$work/plan.txt"
trap - EXIT
count=$(grep -c . <<<"$plan")
echo "farm: $count segments on ${#good[@]} host(s) (${good[*]}), $slots job slot(s)$([ $resuming = 1 ] && echo ', resuming')" >&2

# ---- rendering ---------------------------------------------------------------
# One job a segment, run by the host's shell in the same folder path (parallel
# makes it on remote hosts and brings the segment back with rsync). Without a
# display, xvfb-run gives one at least of the capture's size (looking for a
# free display from one of the job slot's own, so that jobs starting together
# do not race for one). A job succeeds only when
# the program did and the segment holds all its frames and its soundtrack.wav.
screen="-screen 0 $(( width > 1920 ? width : 1920 ))x$(( height > 1080 ? height : 1080 ))x24 -nolisten tcp"
job="if [ -n \"\$DISPLAY\" ] || ! command -v xvfb-run >/dev/null; then run() { \"\$@\"; };
else run() { xvfb-run -a -n \$((300 + {%})) -s $(q "$screen") \"\$@\"; }; fi;
run $(q "$program") --mode $mode --capture {1} --fps $fps --from {3} \$( [ {4} = end ] || echo --to {4} ) --subframes $subframes $data_args --overwrite --log {1}.log >{1}.out 2>&1 &&
n=\$(ls {1} | grep -c '^frame_[0-9]*\\.png\$') && [ -f {1}/soundtrack.wav ] && { [ {5} = end ] || [ \"\$n\" -eq {5} ]; }"
transfer=()
[ -z "$hosts" ] || ! has_remote "$work/hosts" || transfer=(--wd . --return {1} --return {1}.log --return {1}.out)
started=$(date +%s.%N)
status=0
echo "$plan" | parallel --will-cite --colsep ' ' "${host_args[@]}" --joblog joblog --resume-failed \
  --retries "$retries" --halt never "${transfer[@]}" "$job" :::: - || status=$?
if [ $status -ne 0 ]; then
  python3 - joblog <<'PY' >&2
import sys
last = {}
for row in open(sys.argv[1]).read().splitlines()[1:]:
    f = row.split("\t")
    if len(f) >= 9: last[f[0]] = f
for seq, f in sorted(last.items(), key=lambda kv: int(kv[0])):
    if f[6] != "0" or f[7] != "0":
        name = f[8].split("--capture ")[1].split(" ")[0] if "--capture " in f[8] else "?"
        print("farm: segment %s failed on host %s (exit %s, signal %s); see %s.out there" % (name, f[1], f[6], f[7], name))
PY
  die "$status segment(s) failed; run the same command again to render only what is missing (kept in $work)"
fi
rendered=$(date +%s.%N)

# ---- the join ----------------------------------------------------------------
# Frames renumbered into one folder, the segments' sample data one after the
# other under one WAV header; an .mp4 is encoded from them as kestrel does.
if [ $to_video = 1 ]; then out="$work/joined"; rm -rf "$out"; else out="$target"; fi
mkdir -p "$out"
if [ $overwrite = 1 ] || [ $to_video = 1 ]; then
  find "$out" -maxdepth 1 \( -name 'frame_[0-9][0-9][0-9][0-9][0-9]*.png' -o -name soundtrack.wav \) -delete
fi
python3 - "$work" "$out" <<'PY' || die "the join failed (the segments stay in $work)"
import os, shutil, struct, sys
work, out = sys.argv[1], sys.argv[2]
plan = [line.split() for line in open(os.path.join(work, "plan.txt")) if line.startswith("seg_")]
index, pcm = 0, []
for fields in plan:
    name, first = fields[0], int(fields[1])
    seg = os.path.join(work, name)
    frames = sorted(f for f in os.listdir(seg) if f.startswith("frame_") and f.endswith(".png"))
    if first != index: sys.exit("%s starts at frame %d, the frames so far end at %d" % (name, first, index))
    for k, f in enumerate(frames):
        if f != "frame_%05d.png" % k: sys.exit("%s holds %s where frame %d belongs" % (name, f, k))
        dst = os.path.join(out, "frame_%05d.png" % (index + k))
        try: os.link(os.path.join(seg, f), dst)
        except OSError: shutil.copyfile(os.path.join(seg, f), dst)
    index += len(frames)
    head = open(os.path.join(seg, "soundtrack.wav"), "rb").read()
    if len(head) < 44 or head[:4] != b"RIFF" or head[8:16] != b"WAVEfmt " or head[36:40] != b"data":
        sys.exit("%s/soundtrack.wav is not the program's WAV" % name)
    size = struct.unpack("<I", head[40:44])[0]
    if size != len(head) - 44: sys.exit("%s/soundtrack.wav holds %d bytes, its header says %d" % (name, len(head) - 44, size))
    fmt = head[16:36]   # the format chunk: its size and the PCM layout
    pcm.append(head[44:])
data = b"".join(pcm)
with open(os.path.join(out, "soundtrack.wav"), "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + fmt + b"data" + struct.pack("<I", len(data)) + data)
PY
total=$(ls "$out" | grep -c '^frame_[0-9]*\.png$')
if [ $to_video = 1 ]; then
  ffmpeg -y -loglevel error -framerate "$fps" -i "$out/frame_%05d.png" -i "$out/soundtrack.wav" \
    -map 0:v:0 -map 1:a:0 -vf 'pad=ceil(iw/2)*2:ceil(ih/2)*2' -c:v libx264 -pix_fmt yuv420p \
    -c:a aac -b:a 192k -f mp4 "$target.part" && mv "$target.part" "$target" ||
    { rm -f "$target.part"; die "ffmpeg could not make $target (the segments stay in $work)"; }
fi
cd /
rm -rf "$work"
awk -v a="$started" -v b="$rendered" -v c="$(date +%s.%N)" -v n="$total" -v s="$count" -v t="$target" \
  'BEGIN { printf "farm: %d frames from %d segments rendered in %.1f s, joined in %.1f s into %s\n", n, s, b - a, c - b, t }' >&2
