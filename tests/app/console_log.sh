#!/usr/bin/env bash
# The console and the log: stderr carries warnings, errors and the start-up
# phases, --verbose the whole log; demo.log has every line; a log that cannot
# be written gives one warning and the show goes on; --log writes elsewhere.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
source "$(dirname "$0")/lib.bash" "$1" "$2"
ln -s "$build/data" "$work/data"

"$program" --mode 64x36 --shot "5:$work/a.png" >/dev/null 2>"$work/plain.err" || complain "plain still exited $?"
cp demo.log "$work/plain.log"
log_lines=$(wc -l <"$work/plain.log")
err_lines=$(wc -l <"$work/plain.err")
[ "$log_lines" -gt 100 ] || complain "demo.log holds only $log_lines lines"
[ "$err_lines" -le 8 ] || complain "a plain still wrote $err_lines lines to stderr: $(head -12 "$work/plain.err")"
grep -v "^Start-up phase" "$work/plain.err" && complain "stderr holds more than the start-up phases"
grep -q "^Start-up phase resources" "$work/plain.err" || complain "no start-up phase on stderr"
grep -q "^Show length: $show_length s" "$work/plain.log" || complain "the log does not give the show's length"

# --verbose: every line of the log but the logo (written to the file alone) on stderr too
"$program" --mode 64x36 --shot "5:$work/b.png" --verbose >/dev/null 2>"$work/verbose.err" || complain "--verbose exited $?"
tail -n +7 demo.log >"$work/verbose.log"
grep -v '^Start-up phase' "$work/verbose.log" >"$work/a.txt"
grep -v '^Start-up phase' "$work/verbose.err" >"$work/b.txt"
cmp -s "$work/a.txt" "$work/b.txt" || complain "--verbose stderr differs from the log: $(diff "$work/a.txt" "$work/b.txt" | head -5)"

# a missing file is a warning: on stderr without --verbose
mkdir -p "$work/partial" && cp -r "$build/data/." "$work/partial/" && rm "$work/partial/car.vs"
"$program" --mode 64x36 --shot "5:$work/c.png" --data "$work/partial" --log "$work/partial.log" 2>"$work/partial.err"
rc=$?
[ "$rc" -eq 0 ] || complain "a missing shader ended the still with $rc"
grep -q "car.vs" "$work/partial.err" || complain "the missing car.vs is not on stderr: $(head -5 "$work/partial.err")"

# an unwritable log: one warning, the show goes on; --log elsewhere leaves demo.log alone
rm -f demo.log
"$program" --mode 64x36 --shot "5:$work/d.png" --log /proc/nonexistent/x.log >/dev/null 2>"$work/nolog.err"
rc=$?
[ "$rc" -eq 0 ] && [ -s "$work/d.png" ] || complain "an unwritable log ended the still with $rc"
[ "$(grep -c "log" "$work/nolog.err")" -eq 1 ] || complain "unwritable log: $(grep log "$work/nolog.err" | head -3)"
grep -q "^WARNING: could not open the log file /proc/nonexistent/x.log (No such file or directory)" "$work/nolog.err" ||
  complain "no warning naming the unwritable log"
[ "$(wc -l <"$work/nolog.err")" -le 8 ] || complain "an unwritable log floods stderr"
[ -e demo.log ] && complain "--log still wrote demo.log"

# two instances in one folder, each with its own --log
"$program" --mode 64x36 --shot "5:$work/e.png" --log one.log 2>/dev/null &
first=$!
"$program" --mode 64x36 --shot "6:$work/f.png" --log two.log 2>/dev/null
wait "$first"
grep -q "Still at 5.000 s" one.log && ! grep -q "Still at 6.000" one.log || complain "one.log mixes the runs"
grep -q "Still at 6.000 s" two.log && ! grep -q "Still at 5.000" two.log || complain "two.log mixes the runs"
exit $fail
