#!/usr/bin/env bash
# Where the program finds its data: --data, ./data, data beside the program,
# the installed share/kestrel/data; none at all ends it at once with exit 1.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_short_workdir
use_dummy_sound
copy_bare_program
read_show_length

# ---- installed: P/bin/kestrel plays from any folder ----
cmake --install "$BUILD" --prefix "$WORK/p" >/dev/null || complain "cmake --install failed"
(cd / && "$WORK/p/bin/kestrel" --shot "5:$WORK/a.png" --mode 64x36 --log "$WORK/install.log" 2>"$WORK/install.err")
rc=$?
[ "$rc" -eq 0 ] || complain "installed program exited $rc: $(tail -3 "$WORK/install.err")"
[ -s "$WORK/a.png" ] || complain "installed program wrote no still"
grep -q "^Data directory: $WORK/p/share/kestrel/data/$" "$WORK/install.log" ||
  complain "installed program used $(grep '^Data directory' "$WORK/install.log")"
grep -q "Can't find file\|EEEE" "$WORK/install.log" && complain "installed program misses data files"

# ---- an install deep in the file system: paths longer than any fixed small buffer ----
deep="$WORK/an-install-folder-with-a-rather-long-name/and-another-long-level-below-it/prefix"
cmake --install "$BUILD" --prefix "$deep" >/dev/null || complain "cmake --install into a deep prefix failed"
(cd / && "$deep/bin/kestrel" --shot "5:$WORK/deep.png" --mode 64x36 --log "$WORK/deep.log" 2>/dev/null)
rc=$?
[ "$rc" -eq 0 ] && [ -s "$WORK/deep.png" ] || complain "the deep install exited $rc"
grep -q "refused\|Can't find file\|EEEE" "$WORK/deep.log" && complain "the deep install refused data files: $(grep -m1 'refused' "$WORK/deep.log")"
cmp -s "$WORK/a.png" "$WORK/deep.png" || complain "the deep install drew another still"

# ---- from the repository root: its authored data/ gives way to build/data ----
(cd "$SRC" && "$PROGRAM" --shot "5:$WORK/b.png" --mode 64x36 --log "$WORK/root.log" 2>/dev/null)
rc=$?
[ "$rc" -eq 0 ] && [ -s "$WORK/b.png" ] || complain "a still from the repository root exited $rc"
grep -q "^Data directory: $BUILD/data/$" "$WORK/root.log" ||
  complain "from the repository root: $(grep '^Data directory' "$WORK/root.log")"
cmp -s "$WORK/a.png" "$WORK/b.png" || complain "the installed and the built program drew different stills"

# ---- ./data comes before the data beside the program; --data before both ----
mkdir -p "$WORK/here" && ln -s "$BUILD/data" "$WORK/here/data"
out=$(cd "$WORK/here" && "$PROGRAM" --info)
echo "$out" | grep -q "^data directory: ./data/$" || complain "./data not preferred: $out"
out=$(cd "$WORK/here" && "$PROGRAM" --info --data "$WORK/p/share/kestrel/data")
echo "$out" | grep -q "^data directory: $WORK/p/share/kestrel/data/$" || complain "--data not preferred: $out"
echo "$out" | grep -q "^show length: $SHOW_LENGTH s$" || complain "the installed data gave another length: $out"

# ---- no data directory: one line naming where it looked, exit 1, no window ----
(cd "$WORK" && env -u DISPLAY "$WORK/bare/kestrel" --mode 64x36 >"$WORK/none.out" 2>"$WORK/none.err")
rc=$?
[ "$rc" -eq 1 ] || complain "without data the program exited $rc"
[ "$(wc -l <"$WORK/none.err")" -eq 1 ] || complain "without data: $(cat "$WORK/none.err")"
grep -q "looked for ./data, $WORK/bare/data, $WORK/bare/../share/kestrel/data; name one with --data DIR" \
  "$WORK/none.err" || complain "the message does not say where it looked: $(cat "$WORK/none.err")"
[ -e "$WORK/demo.log" ] && complain "a log was started without data"
"$WORK/bare/kestrel" --data "$WORK/nothing" >/dev/null 2>"$WORK/given.err"
rc=$?
[ "$rc" -eq 1 ] && grep -q "$WORK/nothing: No such file or directory" "$WORK/given.err" ||
  complain "a missing --data exited $rc: $(cat "$WORK/given.err")"

# ---- a data directory without the files: each missing file logged, the show goes on ----
mkdir -p "$WORK/empty/data"
(cd "$WORK/empty" && "$WORK/bare/kestrel" --shot "5:$WORK/c.png" --mode 64x36 >/dev/null 2>&1)
rc=$?
[ "$rc" -eq 0 ] && [ -s "$WORK/c.png" ] || complain "an empty ./data exited $rc"
grep -q "^Show length: unknown" "$WORK/empty/demo.log" || complain "an empty ./data gave a show length"
[ "$(grep -c "Can't find file\|EEEE\|can't open" "$WORK/empty/demo.log")" -gt 10 ] ||
  complain "an empty ./data did not log its missing files"
exit $fail
