#!/usr/bin/env bash
# The console and the log: stderr carries warnings, errors and the start-up
# phases, --verbose the whole log; demo.log has every line; a log that cannot
# be written gives one warning and the show goes on; --log writes elsewhere.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
enter_short_workdir
use_dummy_sound
read_show_length
ln -s "$BUILD/data" "$WORK/data"

"$PROGRAM" --mode 64x36 --shot "5:$WORK/a.png" >/dev/null 2>"$WORK/plain.err" || complain "plain still exited $?"
cp demo.log "$WORK/plain.log"
log_lines=$(wc -l <"$WORK/plain.log")
err_lines=$(wc -l <"$WORK/plain.err")
[ "$log_lines" -gt 100 ] || complain "demo.log holds only $log_lines lines"
[ "$err_lines" -le 8 ] || complain "a plain still wrote $err_lines lines to stderr: $(head -12 "$WORK/plain.err")"
grep -v "^Start-up phase" "$WORK/plain.err" && complain "stderr holds more than the start-up phases"
grep -q "^Start-up phase resources" "$WORK/plain.err" || complain "no start-up phase on stderr"
grep -q "^Show length: $SHOW_LENGTH s" "$WORK/plain.log" || complain "the log does not give the show's length"

# --verbose: every line of the log but the logo (written to the file alone) on stderr too
"$PROGRAM" --mode 64x36 --shot "5:$WORK/b.png" --verbose >/dev/null 2>"$WORK/verbose.err" || complain "--verbose exited $?"
tail -n +7 demo.log >"$WORK/verbose.log"
grep -v '^Start-up phase' "$WORK/verbose.log" >"$WORK/a.txt"
grep -v '^Start-up phase' "$WORK/verbose.err" >"$WORK/b.txt"
cmp -s "$WORK/a.txt" "$WORK/b.txt" || complain "--verbose stderr differs from the log: $(diff "$WORK/a.txt" "$WORK/b.txt" | head -5)"

# a missing file is a warning: on stderr without --verbose
mkdir -p "$WORK/partial" && cp -r "$BUILD/data/." "$WORK/partial/" && rm "$WORK/partial/car.vs"
"$PROGRAM" --mode 64x36 --shot "5:$WORK/c.png" --data "$WORK/partial" --log "$WORK/partial.log" 2>"$WORK/partial.err"
rc=$?
[ "$rc" -eq 0 ] || complain "a missing shader ended the still with $rc"
grep -q "car.vs" "$WORK/partial.err" || complain "the missing car.vs is not on stderr: $(head -5 "$WORK/partial.err")"

# an unwritable log: one warning, the show goes on; --log elsewhere leaves demo.log alone
rm -f demo.log
"$PROGRAM" --mode 64x36 --shot "5:$WORK/d.png" --log /proc/nonexistent/x.log >/dev/null 2>"$WORK/nolog.err"
rc=$?
[ "$rc" -eq 0 ] && [ -s "$WORK/d.png" ] || complain "an unwritable log ended the still with $rc"
[ "$(grep -c "log" "$WORK/nolog.err")" -eq 1 ] || complain "unwritable log: $(grep log "$WORK/nolog.err" | head -3)"
grep -q "^WARNING: could not open the log file /proc/nonexistent/x.log (No such file or directory)" "$WORK/nolog.err" ||
  complain "no warning naming the unwritable log"
[ "$(wc -l <"$WORK/nolog.err")" -le 8 ] || complain "an unwritable log floods stderr"
[ -e demo.log ] && complain "--log still wrote demo.log"

# two instances in one folder, each with its own --log
"$PROGRAM" --mode 64x36 --shot "5:$WORK/e.png" --log one.log 2>/dev/null &
first=$!
"$PROGRAM" --mode 64x36 --shot "6:$WORK/f.png" --log two.log 2>/dev/null
wait "$first"
grep -q "Still at 5.000 s" one.log && ! grep -q "Still at 6.000" one.log || complain "one.log mixes the runs"
grep -q "Still at 6.000 s" two.log && ! grep -q "Still at 5.000" two.log || complain "two.log mixes the runs"
exit $fail
