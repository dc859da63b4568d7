#!/usr/bin/env bash
# No data file can stall or exhaust the program: with a named pipe (no
# writer) in place of a texture, a sparse 3 GB file in place of a mesh and a
# directory in place of a sync track, the program must still load, write a
# still and exit 0 within two minutes, name each refused file in the log, and
# its peak resident memory (the log's phase lines) must stay under 512 MB.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
make_build_workdir data_limits
mkdir "$WORK/data"
cd "$WORK" || exit 1
for f in "$BUILD"/data/*; do ln -s "$f" "data/$(basename "$f")"; done
rm data/greet.jpg data/gun.baf data/sync_var1.track
mkfifo data/greet.jpg
truncate -s 3G data/gun.baf
mkdir data/sync_var1.track

timeout 120 "$PROGRAM" --mode 192x108 --shot 100:"$WORK/still.png" >"$WORK/out.txt" 2>&1
rc=$?
if [ "$rc" = 124 ]; then echo "FAIL: start-up did not finish within 120 s (blocked on the pipe?)"; fail=1;
elif [ "$rc" != 0 ]; then echo "FAIL: exit code $rc"; tail -5 "$WORK/out.txt"; fail=1; fi
[ -s "$WORK/still.png" ] || { echo "FAIL: no still written"; fail=1; }

expect() {   # expect TEXT: a log line containing TEXT
  grep -qF "$1" demo.log || { echo "FAIL: no log line with: $1"; fail=1; }
}
expect "data file <./data/greet.jpg> refused: a named pipe"
expect "data file <./data/gun.baf> refused: larger than its limit (3221225472 bytes"
expect "data file <./data/sync_var1.track> refused: a directory"
expect "ERROR: could not read mesh file <./data/gun.baf>"

peak=$(sed -n 's/.*peak RSS \([0-9]*\) MB.*/\1/p' demo.log | sort -n | tail -1)
if [ -z "$peak" ]; then echo "FAIL: no peak RSS in the log's phase lines"; fail=1;
elif [ "$peak" -ge 512 ]; then echo "FAIL: peak RSS $peak MB (512 MB allowed)"; fail=1; fi

[ "$fail" = 0 ] && echo "data limits: pipe, 3 GB file and directory refused, peak RSS ${peak} MB"
exit "$fail"
