#!/usr/bin/env bash
# A short live run of the page with sound (tests/web/live.mjs): 640x360 from
# the start screen's size choice, ?start=60, click to play; the audio clock and
# the music follow the wall clock, the output is not silent, Escape returns to
# the start screen. Skips (77) without build-web/.
# Arguments: build directory, source directory.
set -u
source "$2/tests/support/web.bash" "$2"
start_server
node --experimental-websocket "$SRC/tests/web/live.mjs" "$BASE?start=60" "$WORK/profile" "$WORK/live-" 2>&1 || fail=1
[ $fail = 0 ] && rm -rf "$WORK" || echo "screenshots in $WORK"
exit $fail
