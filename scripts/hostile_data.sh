#!/usr/bin/env bash
# Hostile data, the full matrix: every file of the data directory that the
# program reads, in turn removed, truncated to 0 bytes, to half and to one
# byte short, and corrupted (head, middle and end overwritten). Each case
# renders a still in every scene (the soundtrack: the show's last seconds in
# real time) and must exit 0 with no sanitizer report and no GL error, name
# the file in the log (a cut or corrupted file the reader accepts as it is
# counts as tolerated, named by its loading line) and load every other resource.
#   bash scripts/hostile_data.sh [BUILD_DIR] [FILE...]
# BUILD_DIR defaults to build (a sanitizer build, e.g. build-asan, adds the
# sanitizer checks); FILEs limit the run to those data files, HOSTILE_MODES
# (e.g. "missing corrupt") to those damages. Runs under
# xvfb-run by itself when there is no display. Exits non-zero when a case fails.
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

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  # Every data file the program opens, as strace sees it in a --shot run and
  # in a played run (the soundtrack): the data directory also holds files it
  # never reads (the timeline text the content tools take).
  make_case_dir "opened"
  traced shot.trace "$BUILD/kestrel" --mode 96x54 --shot "${SCENE_TIMES[0]}:s.png" >/dev/null 2>&1
  traced play.trace "$BUILD/kestrel" --mode 96x54 --start "$(before_end 1)" >/dev/null 2>&1
  mapfile -t files < <(cat shot.trace play.trace | grep -o '"\./data/[^"]*", O_RDONLY[^=]*= [0-9]' |
                       sed 's|^"\./data/||; s|".*||' | sort -u)
  cd "$root" && rm -rf "$WORK"
  [ ${#files[@]} -gt 0 ] || { echo "the program opened no data file"; exit 1; }
  echo "data files the program reads: ${#files[@]}"
fi
read -r -a modes <<<"${HOSTILE_MODES:-missing empty half short corrupt}"
passed=0 failed=0 tolerated=0
for name in "${files[@]}"; do
  for mode in "${modes[@]}"; do
    if line=$(hostile_case "$name" "$mode"); then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    echo "$line"
    case "$line" in *tolerated*) tolerated=$((tolerated + 1)) ;; esac
  done
done
echo "hostile data: $((passed + failed)) cases, $passed passed ($tolerated of them read as they were, harmless damage), $failed failed"
[ $failed -eq 0 ]
