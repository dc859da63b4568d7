#!/usr/bin/env bash
# The track editor driven as an author would under Xvfb: F2 and Ctrl+S with no
# edit write the shipped timeline and track files back unchanged; then a key
# typed in, its interpolation cycled, a block copied and pasted on a clicked
# row, undone and redone, bad input refused, a read-only timeline left alone,
# and the save: `tracktool at` on the saved timeline gives the new values and
# the track files written beside it are the ones tracktool builds from it.
# Escape closes the editor, not the show; quitting with unsaved edits asks
# once. Arguments: build directory, source
# directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
hold_display
use_dummy_sound

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-editor.XXXXXX")
on_exit '[ -n "${PID:-}" ] && kill -9 $PID 2>/dev/null; rm -rf "$WORK"'
cp -r "$BUILD/data" "$WORK/data"
mkdir "$WORK/sources" "$WORK/built"
cp "$SRC/data/timeline.txt" "$WORK/sources/"
cd "$WORK"
TRACKTOOL="$BUILD/tracktool"
[ -x "$TRACKTOOL" ] || TRACKTOOL=$(find "$BUILD" -name tracktool -type f -perm -u+x | head -1)
[ -x "$TRACKTOOL" ] || fail "no tracktool in $BUILD"
TRACKS="scene part var0 var1 post1 post2"

count_lines() { grep -c "$1" demo.log 2>/dev/null || true; }
wait_lines() {   # pattern, count to pass, seconds
  for _ in $(seq 1 $((${3:-30} * 10))); do
    [ "$(count_lines "$1")" -gt "$2" ] && return 0
    sleep 0.1
  done
  fail "no new log line '$1' within ${3:-30} s; the editor said: $(grep 'editor:' demo.log | tail -3)"
}
keys() { for k in "$@"; do xdotool key --window "$WID" "$k" 2>/dev/null; sleep 0.05; done; }
# Keys, then Ctrl+S, waiting for the editor's answer to the save.
save() {
  local n; n=$(count_lines 'editor: saved\|editor: not saved')
  keys ctrl+s
  wait_lines 'editor: saved\|editor: not saved' "$n"
}
# A row's show time in seconds (130 beats a minute, 4 rows a beat).
row_time() { awk -v r="$1" 'BEGIN { printf "%.6f", r * 60 / 520 + 0.0001 }'; }
value_at() { "$TRACKTOOL" at sources/timeline.txt "$(row_time "$1")" | awk -v t="$2" '$1 == t { print $2 }'; }
near() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= 0.0005) }'; }

start_program --mode 640x360 --start 20 --edit "$WORK/sources"
WID=$(wait_window "KESTREL Engine" 90) || fail "no show window"
wait_lines "Start-up phase first frame" 0 90
sleep 1
keys space
wait_lines '^transport: paused' 0
keys Home
wait_lines '^transport: paused at 0.000 s' 0
keys F2                                         # paused at the start, the editor on row 0
wait_lines 'editor: open on' 0
grep -q 'editor: open on .* at row 0$' demo.log || fail "the editor did not open on row 0: $(grep 'editor: open' demo.log)"

# No edit: the timeline and the track files come back byte for byte.
save
grep -q "editor: saved" demo.log || fail "the unchanged save failed: $(grep 'editor:' demo.log | tail -1)"
cmp -s sources/timeline.txt "$SRC/data/timeline.txt" || fail "an unchanged timeline was not written back byte for byte"
for t in $TRACKS; do
  cmp -s "data/sync_$t.track" "$BUILD/data/sync_$t.track" || fail "sync_$t.track changed without an edit"
done

# Bar 16 (row 256, scene 2), column var1, row 258: 7, then linear.
keys Next Next Next Next Next Next Next Next Next Next Next Next Next Next Next Next
keys Right Right Right Down Down 7 Return i
# Bad input: not a number, a scene out of range, a scene key where no scene starts.
n=$(count_lines 'editor: ')
keys 1 period 2 period 3 Return
wait_lines "editor: '1.2.3' is not a number" 0
keys Left Left Left 1 2 Return                  # the scene column, row 258
wait_lines "editor: scene: a scene starts only on a 'scene' line" 0
keys Up Up 1 0 Return                           # row 256: scene 2's start
wait_lines "editor: scene: 10 is not a scene number 1 to 9" 0
keys Down Down Right Right Right                # back to var1, row 258
# A block of two rows copied; a click lower in the grid takes the cursor there.
keys shift+Down ctrl+c
wait_lines 'editor: copied 2 rows, 1 keys' 0
# The grid drawn with the cursor where it is now: paused, the picture settles
# but for the editor's own small marks (under 1 % of it changes between frames).
capture_settled "$WID" grid.png 2000 || fail "the editor's picture did not settle before the click"
# One cell is framed in the cursor's colour (its header name is in it too):
# with the header name about 920 pixels; a frame on each cell of the cursor's
# row or column gave 1460 and 2470.
framed=$(convert grid.png -alpha off -fuzz 10% -transparent "rgb(255,230,120)" -alpha extract -negate \
  -format "%[fx:round(mean*w*h)]" info:)
echo "pixels in the cursor's colour: $framed"
[ "$framed" -gt 60 ] && [ "$framed" -lt 1200 ] || fail "$framed pixels in the cursor's colour: not one framed cell"
# A click on the picture beside the panel moves nothing: the click on the grid
# after it is the only one the editor takes.
xdotool mousemove --window "$WID" 100 100 click 1
xdotool mousemove --window "$WID" 488 170 click 1
wait_lines 'editor: click on row' 0
[ "$(count_lines 'editor: click on row')" -eq 1 ] || fail "a click beside the grid moved the cursor: $(grep 'click on row' demo.log)"
clicked=$(grep 'editor: click on row' demo.log | tail -1 | sed -E 's/.*row ([0-9]+) .*/\1/')
[ "$clicked" -gt 259 ] && [ "$clicked" -lt 272 ] || fail "the click landed on row $clicked, not below the block"
grep 'editor: click on row' demo.log | tail -1 | grep -q 'track var1' || fail "the click left the var1 column"
keys ctrl+v
wait_lines 'editor: pasted 1 keys' 0
keys ctrl+v                                     # the same rows again: a key is there
wait_lines 'editor: var1 already has a key on row' 0
keys ctrl+z
wait_lines 'editor: undone' 0
keys ctrl+y
wait_lines 'editor: redone' 0

# A read-only timeline stays as it is.
cp sources/timeline.txt before.txt
chmod 0444 sources/timeline.txt
save
grep 'editor: ' demo.log | tail -1 | grep -q 'not saved: .*read-only' || fail "a read-only timeline was not refused: $(grep 'editor:' demo.log | tail -1)"
cmp -s sources/timeline.txt before.txt || fail "the read-only timeline changed"
chmod 0644 sources/timeline.txt
save
grep 'editor: ' demo.log | tail -1 | grep -q 'editor: saved' || fail "the save failed: $(grep 'editor:' demo.log | tail -1)"

# The text: every line kept, two statements added in scene 2's block.
diff "$SRC/data/timeline.txt" sources/timeline.txt >diff.txt
[ "$(grep -c '^<' diff.txt)" = 0 ] || fail "the save removed or changed lines: $(cat diff.txt)"
grep '^>' diff.txt | grep -qE '^> var1 +0:0:2 +7 +linear$' || fail "no key line at 16:0:2: $(cat diff.txt)"
[ "$(grep -c '^>' diff.txt)" = 2 ] || fail "the save added other than two lines: $(cat diff.txt)"
# Its values: 7 at both keys, then linear down to scene 3's var1 key (0 on row 384).
near "$(value_at 258 var1)" 7 || fail "var1 at row 258 is $(value_at 258 var1), not 7"
near "$(value_at "$clicked" var1)" 7 || fail "var1 at the pasted row $clicked is not 7"
mid=$(( (clicked + 384) / 2 ))
want=$(awk -v c="$clicked" -v m="$mid" 'BEGIN { printf "%.6f", 7 - 7 * (m + 0.0001 * 520 / 60 - c) / (384 - c) }')
near "$(value_at "$mid" var1)" "$want" || fail "var1 at row $mid is $(value_at "$mid" var1), not $want"
# The track files beside it are the ones the timeline builds.
"$TRACKTOOL" build sources/timeline.txt built >/dev/null || fail "tracktool could not build the saved timeline"
for t in $TRACKS; do
  cmp -s "data/sync_$t.track" "built/sync_$t.track" || fail "sync_$t.track differs from the saved timeline's"
done

# Unsaved edits: Escape closes the editor and the show goes on; the first
# close asks, the next Escape ends the show.
keys Down Down Down Delete 5 Return Escape
wait_lines 'editor: closed' 0
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the Escape that closed the editor ended the show"
close_window "$WID"
wait_lines 'editor: unsaved edits: asked before quitting' 0
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the show ended with unsaved edits without asking"
keys Escape
wait_exit 30
[ "$STATUS" = 0 ] || fail "exit code $STATUS after the second close"
grep -q 'GL debug: 0 GL errors' demo.log || fail "GL errors: $(grep 'GL debug:' demo.log | tail -1)"
echo "track editor: ok (pasted on row $clicked)"
