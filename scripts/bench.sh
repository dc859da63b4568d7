#!/usr/bin/env bash
# Builds a Release tree and prints one Markdown table of the show's costs:
# start-up phases (1280x720), per-scene ms per frame (median / 95th percentile)
# at 640x360, 960x540 and 1280x720,
# engine time over the replay time of its own GL stream (apitrace), heap
# allocations per frame after start-up, peak resident memory, and what the
# heads-up display adds per frame (benched with and without it, interleaved).
#
#   scripts/bench.sh [--quick] [BUILD_DIR]   (default BUILD_DIR: build-bench)
#
# Without --quick every scene is timed over the whole show (fixed 1/30 s
# steps, --bench); with --quick over a 3-second window in the middle of each
# scene. Needs a display: without DISPLAY it runs itself under xvfb-run.
# Timings on a shared machine are noisy: note the load it prints.
set -eu
quick=0
if [ "${1:-}" = "--quick" ]; then quick=1; shift; fi
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$src/build-bench}")
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" $([ $quick = 1 ] && echo --quick) "$build"
fi
for tool in apitrace glretrace; do
  command -v $tool >/dev/null || { echo "scripts/bench.sh: $tool missing (Debian package apitrace)" >&2; exit 1; }
done
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target kestrel >/dev/null
cd "$build"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export SDL_AUDIODRIVER=dummy

# Scene start times in seconds from the timeline (bars of 4 beats at its tempo).
tempo=$(awk '$1 == "tempo" { print $2; exit }' "$src/data/timeline.txt")
tempo=${tempo:-130}
starts=$(awk -v bpm="$tempo" '$1 == "scene" && $3 == "at" { printf "%d %.3f\n", $2, $4 * 240 / bpm }
                              $1 == "end" && $2 == "at" { printf "end %.3f\n", $3 * 240 / bpm }' "$src/data/timeline.txt")

# bench WxH OUTFILE: the bench table for that size (whole show or windows).
bench() {
  local size=$1 file=$2
  : >"$file"
  if [ $quick = 0 ]; then
    ./kestrel --mode "$size" --bench >"$file" 2>"$file.log"
    return
  fi
  echo "$starts" | awk '{ print $1, $2 }' | {
    read -r prev_scene prev_start
    while read -r scene start; do
      mid=$(awk -v a="$prev_start" -v b="$start" 'BEGIN { printf "%.3f", (a + b) / 2 - 1.5 }')
      ./kestrel --mode "$size" --bench --start "$mid" --seconds 3 >>"$file" 2>>"$file.log"
      prev_scene=$scene; prev_start=$start
    done
  }
}

# row FILE SCENE: "median p95" of that scene (merged windows: the median of medians).
middle() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "-" }'; }
row() {
  local m p c
  m=$(awk -v s="$2" '$1 == s { print $3 }' "$1" | middle)
  p=$(awk -v s="$2" '$1 == s { print $4 }' "$1" | middle)
  c=$(awk -v s="$2" '$1 == s { print $7 }' "$1" | middle)
  echo "$m $p $c"
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
echo "scripts/bench.sh $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load before: $load" >&2

bench 640x360 "$out/small"
bench 960x540 "$out/medium"
bench 1280x720 "$out/large"

# Start-up at 1280x720: the phase lines of one more bench run of a frame.
./kestrel --mode 1280x720 --bench --seconds 0.03 >/dev/null 2>"$out/startup"

# Engine / replay over a 10 s window at 640x360: traced runs of 1 frame and of
# 1 + 300 frames, each replayed with glretrace --benchmark; the difference
# cancels start-up. The engine's time is taken from untraced runs.
window=${BENCH_REPLAY_START:-60}
engine_ms() { awk '$1 == "all" { printf "%.1f", $2 * $5 }' "$1"; }
./kestrel --mode 640x360 --bench --start "$window" --seconds 0.03 >"$out/e1" 2>/dev/null
./kestrel --mode 640x360 --bench --start "$window" --seconds 10.03 >"$out/e2" 2>/dev/null
apitrace trace --api gl -o "$out/t1.trace" ./kestrel --mode 640x360 --bench --start "$window" --seconds 0.03 >/dev/null 2>&1
apitrace trace --api gl -o "$out/t2.trace" ./kestrel --mode 640x360 --bench --start "$window" --seconds 10.03 >/dev/null 2>&1
replay_ms() { glretrace --benchmark "$1" 2>/dev/null | awk '/^Rendered/ { printf "%.1f", $5 * 1000 }'; }
r1=$(replay_ms "$out/t1.trace"); r2=$(replay_ms "$out/t2.trace")
e1=$(engine_ms "$out/e1"); e2=$(engine_ms "$out/e2")

# The heads-up display's cost at 640x360: 3 s windows benched with and without
# --hud, in pairs run one after the other so drift hits both alike; the added
# ms per frame is the median over the pairs of the difference of mean frame times.
mean_ms() { awk '$1 == "all" { print $5 }' "$1"; }
hud_pairs=""
for at in ${BENCH_HUD_STARTS:-30 90 150}; do
  for pass in 1 2; do
    ./kestrel --mode 640x360 --bench --start "$at" --seconds 3 >"$out/h0" 2>/dev/null
    ./kestrel --mode 640x360 --bench --hud --start "$at" --seconds 3 >"$out/h1" 2>/dev/null
    hud_pairs="$hud_pairs $(mean_ms "$out/h0"):$(mean_ms "$out/h1")"
  done
done
hud_row=$(echo "$hud_pairs" | tr ' ' '\n' | awk -F: 'NF == 2 { d[++n] = $2 - $1; r[n] = $2 / $1 }
  END { if (!n) { print "-"; exit }
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) { if (d[j] < d[i]) { t = d[i]; d[i] = d[j]; d[j] = t }
                                                                  if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t } }
        m = int((n + 1) / 2); printf "%+.2f ms (× %.3f), range %+.2f .. %+.2f ms over %d pairs", d[m], r[m], d[1], d[n], n }')

echo "| measure | 640x360 | 960x540 | 1280x720 |"
echo "|---|---|---|---|"
grep "^Start-up phase" "$out/startup" | sed 's/^Start-up phase //' |
  awk '{ name = $1; i = 2; while ($i !~ /^[0-9.]+$/) { name = name " " $i; i++ }
         rss = $0; sub(/.*peak RSS /, "", rss); sub(/\).*/, "", rss)
         printf "| start-up: %s | | | %s ms (total %s ms, peak RSS %s) |\n", name, $i, $(i + 3), rss }'
for scene in 1 2 3 4 5 6 7 8 9 all; do
  read -r sm sp sc <<<"$(row "$out/small" $scene)"
  read -r mm mp mc <<<"$(row "$out/medium" $scene)"
  read -r lm lp lc <<<"$(row "$out/large" $scene)"
  label="scene $scene"; [ $scene = all ] && label="all scenes"
  echo "| $label: ms per frame, median / p95 (CPU) | $sm / $sp ($sc) | $mm / $mp ($mc) | $lm / $lp ($lc) |"
done
alloc() { grep -h "^heap" "$1" | sed 's/heap allocations per frame: //' | head -1; }
echo "| heap allocations per frame after start-up | $(alloc "$out/small") | $(alloc "$out/medium") | $(alloc "$out/large") |"
rss() { grep -h "^peak RSS" "$1" | sort -t: -k2 -n | tail -1 | sed 's/peak RSS: //'; }
echo "| peak RSS over the bench | $(rss "$out/small") | $(rss "$out/medium") | $(rss "$out/large") |"
ratio=$(awk -v e1="$e1" -v e2="$e2" -v r1="$r1" -v r2="$r2" \
  'BEGIN { if (r2 - r1 > 0) printf "%.3f", (e2 - e1) / (r2 - r1); else print "-" }')
echo "| engine ÷ glretrace replay (${window} s + 10 s window) | $ratio (engine $(awk -v a="$e1" -v b="$e2" 'BEGIN{print b-a}') ms, replay $(awk -v a="$r1" -v b="$r2" 'BEGIN{print b-a}') ms) | | |"
echo "| heads-up display (--hud) added per frame, median of interleaved pairs | $hud_row | | |"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
