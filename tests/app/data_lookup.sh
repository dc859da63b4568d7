#!/usr/bin/env bash
# Where the program finds its data: --data, ./data, data beside the program,
# the installed share/kestrel/data; none at all ends it at once with exit 1.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
source "$(dirname "$0")/lib.bash" "$1" "$2"

# ---- installed: P/bin/kestrel plays from any folder ----
cmake --install "$build" --prefix "$work/p" >/dev/null || complain "cmake --install failed"
(cd / && "$work/p/bin/kestrel" --shot "5:$work/a.png" --mode 64x36 --log "$work/install.log" 2>"$work/install.err")
rc=$?
[ "$rc" -eq 0 ] || complain "installed program exited $rc: $(tail -3 "$work/install.err")"
[ -s "$work/a.png" ] || complain "installed program wrote no still"
grep -q "^Data directory: $work/p/share/kestrel/data/$" "$work/install.log" ||
  complain "installed program used $(grep '^Data directory' "$work/install.log")"
grep -q "Can't find file\|EEEE" "$work/install.log" && complain "installed program misses data files"

# ---- an install deep in the file system: paths longer than any fixed small buffer ----
deep="$work/an-install-folder-with-a-rather-long-name/and-another-long-level-below-it/prefix"
cmake --install "$build" --prefix "$deep" >/dev/null || complain "cmake --install into a deep prefix failed"
(cd / && "$deep/bin/kestrel" --shot "5:$work/deep.png" --mode 64x36 --log "$work/deep.log" 2>/dev/null)
rc=$?
[ "$rc" -eq 0 ] && [ -s "$work/deep.png" ] || complain "the deep install exited $rc"
grep -q "refused\|Can't find file\|EEEE" "$work/deep.log" && complain "the deep install refused data files: $(grep -m1 'refused' "$work/deep.log")"
cmp -s "$work/a.png" "$work/deep.png" || complain "the deep install drew another still"

# ---- from the repository root: its authored data/ gives way to build/data ----
(cd "$src" && "$program" --shot "5:$work/b.png" --mode 64x36 --log "$work/root.log" 2>/dev/null)
rc=$?
[ "$rc" -eq 0 ] && [ -s "$work/b.png" ] || complain "a still from the repository root exited $rc"
grep -q "^Data directory: $build/data/$" "$work/root.log" ||
  complain "from the repository root: $(grep '^Data directory' "$work/root.log")"
cmp -s "$work/a.png" "$work/b.png" || complain "the installed and the built program drew different stills"

# ---- ./data comes before the data beside the program; --data before both ----
mkdir -p "$work/here" && ln -s "$build/data" "$work/here/data"
out=$(cd "$work/here" && "$program" --info)
echo "$out" | grep -q "^data directory: ./data/$" || complain "./data not preferred: $out"
out=$(cd "$work/here" && "$program" --info --data "$work/p/share/kestrel/data")
echo "$out" | grep -q "^data directory: $work/p/share/kestrel/data/$" || complain "--data not preferred: $out"
echo "$out" | grep -q "^show length: $show_length s$" || complain "the installed data gave another length: $out"

# ---- no data directory: one line naming where it looked, exit 1, no window ----
(cd "$work" && env -u DISPLAY "$work/bare/kestrel" --mode 64x36 >"$work/none.out" 2>"$work/none.err")
rc=$?
[ "$rc" -eq 1 ] || complain "without data the program exited $rc"
[ "$(wc -l <"$work/none.err")" -eq 1 ] || complain "without data: $(cat "$work/none.err")"
grep -q "looked for ./data, $work/bare/data, $work/bare/../share/kestrel/data; name one with --data DIR" \
  "$work/none.err" || complain "the message does not say where it looked: $(cat "$work/none.err")"
[ -e "$work/demo.log" ] && complain "a log was started without data"
"$work/bare/kestrel" --data "$work/nothing" >/dev/null 2>"$work/given.err"
rc=$?
[ "$rc" -eq 1 ] && grep -q "$work/nothing: No such file or directory" "$work/given.err" ||
  complain "a missing --data exited $rc: $(cat "$work/given.err")"

# ---- a data directory without the files: each missing file logged, the show goes on ----
mkdir -p "$work/empty/data"
(cd "$work/empty" && "$work/bare/kestrel" --shot "5:$work/c.png" --mode 64x36 >/dev/null 2>&1)
rc=$?
[ "$rc" -eq 0 ] && [ -s "$work/c.png" ] || complain "an empty ./data exited $rc"
grep -q "^Show length: unknown" "$work/empty/demo.log" || complain "an empty ./data gave a show length"
[ "$(grep -c "Can't find file\|EEEE\|can't open" "$work/empty/demo.log")" -gt 10 ] ||
  complain "an empty ./data did not log its missing files"
exit $fail
