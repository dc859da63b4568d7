#!/usr/bin/env bash
# What the program writes, traced with strace: a played run (the show's last
# seconds with music, ending by itself) writes demo.log and nothing else; a
# --shot run adds only the requested PNG files. The whole show's capture run
# is traced by hardening_show.sh.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
use_sanitizer_defaults
use_dummy_sound
read_show_timing
command -v strace >/dev/null || { echo "strace is missing (scripts/deps.sh installs it)"; exit 1; }
make_case_dir "files"
fail=0

check_writes() {
  local what=$1 trace=$2
  shift 2
  local extra
  extra=$(unexpected_writes "$trace" "$@")
  if [ -n "$extra" ]; then echo "$what wrote more than expected:"; echo "$extra" | head -20; fail=1; fi
  [ "$(written_paths "$trace" | grep -c 'demo\.log$')" -gt 0 ] || { echo "$what did not write demo.log"; fail=1; }
}

traced play.trace "$BUILD/kestrel" --mode 160x90 --start "$(before_end 2.5)" >out.txt 2>err.txt
rc=$?
[ "$rc" -eq 0 ] || { echo "played run exited $rc"; tail -5 err.txt; fail=1; }
grep -q '^music: <.*barnstomp.mp3> playing' demo.log || { echo "the played run had no music"; fail=1; }
check_writes "the played run" play.trace

traced shot.trace "$BUILD/kestrel" --mode 160x90 --shot "40:$WORK/a.png" --shot "150:b.png" >out.txt 2>err.txt
rc=$?
[ "$rc" -eq 0 ] || { echo "--shot run exited $rc"; tail -5 err.txt; fail=1; }
[ -s a.png ] && [ -s b.png ] || { echo "stills missing"; fail=1; }
check_writes "the --shot run" shot.trace "^$WORK/a\.png$" '^b\.png$'

report=$(sanitizer_report err.txt)
[ -z "$report" ] || { echo "sanitizer report: $report"; fail=1; }
cd /
[ $fail -eq 0 ] && rm -rf "$WORK"
exit $fail
