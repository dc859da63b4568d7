#!/usr/bin/env bash
# The browser build's rand() against glibc's: tests/web/rand_sequence.cpp
# built natively and for the browser must print the same sequence (the film
# grain's offsets), beginning 1804289383, 846930886, 1681692777.
# Arguments: build directory, source directory. Skips (77) without build-web/.
set -u
BUILD=$(cd "$1" && pwd -P) || exit 2
source "$2/tests/support/web.bash" "$2"
[ -f "$WEB/rand_sequence.js" ] || { echo "SKIP: $WEB/rand_sequence.js is missing"; exit 77; }
"$BUILD/tests/rand_sequence" >"$WORK/glibc.txt" || complain "the native sequence did not run"
node --no-experimental-fetch "$WEB/rand_sequence.js" >"$WORK/web.txt" || complain "the browser sequence did not run"
[ "$(head -3 "$WORK/glibc.txt" | tr '\n' ' ')" = "1804289383 846930886 1681692777 " ] ||
  complain "the native rand() is not glibc's: $(head -3 "$WORK/glibc.txt" | tr '\n' ' ')"
lines=$(wc -l <"$WORK/glibc.txt")
[ "$lines" -eq 2806 ] || complain "$lines lines from the native sequence, not 2806"
if ! diff -q "$WORK/glibc.txt" "$WORK/web.txt" >/dev/null; then
  complain "the browser's rand() departs from glibc's: $(diff "$WORK/glibc.txt" "$WORK/web.txt" | head -4 | tr '\n' ' ')"
fi
[ $fail = 0 ] && rm -rf "$WORK"
exit $fail
