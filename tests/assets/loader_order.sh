#!/usr/bin/env bash
# The resource loader with worker threads writes the same log as the
# row-by-row walk (KESTREL_LOAD_WORKERS=0): with damaged files among the rows
# (a JPEG and a mesh cut to half, a TGA corrupted, a texture and a mesh
# missing, an empty JPEG) every run exits 0 without a sanitizer report, the
# "loading" lines follow the show's table, each damaged file's messages stand
# in the block of a row that names it, and the loading part of the log and
# the problem lines on stderr are identical with 0, 1 and 2 workers.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
use_sanitizer_defaults
use_dummy_sound
read_show_timing
make_case_dir "loader"
fail=0

damage_file label_nuke.jpg half     # a truncated JPEG: decoded with a warning
damage_file jug.baf half            # a truncated mesh, used by three rows
damage_file press_lite.tga corrupt  # the TGA reader's reports go to stderr
damage_file skybox2.jpg missing
damage_file bill.bof missing
damage_file smoke_n.jpg empty
damaged="label_nuke.jpg jug.baf press_lite.tga skybox2.jpg bill.bof smoke_n.jpg"

for workers in 0 1 2; do
  KESTREL_LOAD_WORKERS=$workers "$BUILD/kestrel" --data data --log "log$workers.txt" --mode 160x90 \
    --bench --seconds 0.05 >"out$workers.txt" 2>"err$workers.txt"
  rc=$?
  [ "$rc" -eq 0 ] || { echo "run with $workers workers exited $rc"; tail -5 "err$workers.txt"; fail=1; }
  report=$(sanitizer_report "err$workers.txt")
  [ -z "$report" ] || { echo "sanitizer report with $workers workers: $report"; fail=1; }
  grep -aq 'loading complete!' "log$workers.txt" || { echo "run with $workers workers did not finish loading"; fail=1; }
done

# The loading part of a log: from the first "loading <" to "loading complete!".
loading_part() { sed -n '/loading </,/loading complete!/p' "$1"; }
# stderr without the lines that carry times (start-up phases, bench results).
problem_lines() { grep -av -e '^Start-up phase' -e '^Bench' -e 'ms per frame' "$1"; }
for workers in 1 2; do
  if ! diff <(loading_part log0.txt) <(loading_part "log$workers.txt") >"diff$workers.txt"; then
    echo "the loading log with $workers workers differs from the row-by-row walk:"; head -20 "diff$workers.txt"; fail=1
  fi
  if ! diff <(problem_lines err0.txt) <(problem_lines "err$workers.txt") >"errdiff$workers.txt"; then
    echo "stderr with $workers workers differs from the row-by-row walk:"; head -20 "errdiff$workers.txt"; fail=1
  fi
done
grep -aq 'Libtga:' err1.txt || { echo "the corrupted TGA gave no reader report on stderr"; fail=1; }

# Against the table: the rows in order, and each damaged file's messages
# inside the block of a row that names it (a message may share a line with
# the next "loading" line: some loader texts end without a newline).
python3 - "$SRC/show/resources.cpp" log1.txt "$damaged" <<'PY' || fail=1
import re, sys
source, log, damaged = sys.argv[1], sys.argv[2], sys.argv[3].split()
table = re.findall(r'^\s*(?:SHADER|MESH|TEXTURE)\([^"]*"([^"]*)"', open(source).read(), re.M)
text = open(log, errors="replace").read()
start, end = text.find("loading <"), text.find("loading complete!")
part = text[start:end]
pieces = re.split(r'loading <([^>]*)>\n', part)
rows, bodies = pieces[1::2], pieces[2::2]
ok = True
if rows != table:
    print("loading lines do not follow the table: %d lines, %d rows" % (len(rows), len(table)))
    for i, (a, b) in enumerate(zip(rows, table)):
        if a != b:
            print("first difference at row %d: <%s> for <%s>" % (i, a, b))
            break
    ok = False
for name in damaged:
    named = [i for i, body in enumerate(bodies) if "data/" + name in body]
    if not named:
        print("no message names the damaged file %s" % name)
        ok = False
    for i in named:
        if name not in rows[i].split("|"):
            print("a message about %s stands in the block of row %d <%s>" % (name, i, rows[i]))
            ok = False
sys.exit(0 if ok else 1)
PY

cd /
[ $fail -eq 0 ] && rm -rf "$WORK"
exit $fail
