#!/usr/bin/env bash
# The long hardening runs that do not fit the test suite's time:
#   1. the whole show captured with --gl-debug at 320x180, 1024x768 and
#      1920x1080 (fixed steps, HARDENING_FPS per second, default 2): GL errors
#      counted per size, none allowed;
#   2. three whole shows in one process (--bench --runs 3 at 320x180): the
#      resident memory after the second and third show may exceed the first
#      by less than 1 MB;
#   3. hostile data, the full matrix (scripts/hostile_data.sh).
#   bash scripts/hardening.sh [BUILD_DIR] [sizes|memory|hostile]...
# BUILD_DIR defaults to build (build it first); without stage names all three
# run. Runs under xvfb-run by itself when there is no display.
set -u
cd "$(dirname "$0")/.."
root=$PWD
BUILD=$(cd "${1:-build}" && pwd) || exit 2
shift || true
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$BUILD" "$@"
fi
source "$root/tests/support/program.bash" "$BUILD" "$root"
use_sanitizer_defaults
use_dummy_sound
read_show_timing
[ -x "$BUILD/kestrel" ] || { echo "no program in $BUILD (build it first)"; exit 2; }
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(sizes memory hostile)
status=0

stage_sizes() {
  local size
  for size in 320x180 1024x768 1920x1080; do
    HARDENING_SIZE=$size HARDENING_FPS=${HARDENING_FPS:-2} bash "$root/tests/program/hardening_show.sh" "$BUILD" "$root" ||
      status=1
  done
}

stage_memory() {
  make_case_dir "memory"
  "$BUILD/kestrel" --mode 320x180 --bench --runs 3 >out.txt 2>err.txt
  local rc=$?
  grep '^Bench' demo.log
  mapfile -t rss < <(grep -o 'Bench run [0-9] of 3: resident memory [0-9]* kB' demo.log | grep -o '[0-9]* kB' | grep -o '[0-9]*')
  if [ "$rc" -ne 0 ] || [ ${#rss[@]} -ne 3 ]; then
    echo "memory: the three shows did not complete (exit code $rc)"; status=1
  else
    local growth=$(( (rss[1] > rss[2] ? rss[1] : rss[2]) - rss[0] ))
    echo "memory: resident ${rss[0]} kB after the first show, ${rss[1]} kB, ${rss[2]} kB after the next; growth $growth kB"
    [ "$growth" -lt 1024 ] || { echo "memory grows by 1 MB or more"; status=1; }
  fi
  cd "$root" && rm -rf "$WORK"
}

stage_hostile() {
  bash "$root/scripts/hostile_data.sh" "$BUILD" || status=1
}

for stage in "${stages[@]}"; do
  case "$stage" in
    sizes|memory|hostile) echo "== $stage"; "stage_$stage" ;;
    *) echo "unknown stage $stage (sizes, memory, hostile)"; exit 2 ;;
  esac
done
exit $status
