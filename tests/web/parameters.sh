#!/usr/bin/env bash
# The page's URL parameters: a bad one gets a clear message on the page (and
# the title "kestrel: error"), never a blank canvas; ?bench prints the bench
# table on the page for the frames asked, ?hud draws the display over them
# and ?gldebug counts no GL error. Skips (77) without build-web/.
# Arguments: build directory, source directory.
set -u
source "$2/tests/support/web.bash" "$2"
start_server

# expect_message QUERY TEXT: the page refuses QUERY with TEXT in its message.
expect_message() {
  page_dom "$1" 20000 "$WORK/dom.html"
  local title message
  title=$(grep -o '<title>[^<]*' "$WORK/dom.html" | sed 's/<title>//')
  message=$(sed -n 's/.*<div id="message">\([^<]*\).*/\1/p' "$WORK/dom.html" | head -1)
  [ "$title" = "kestrel: error" ] || complain "$1: title \"$title\", not \"kestrel: error\""
  case "$message" in *"$2"*) ;; *) complain "$1: message \"$message\" does not say \"$2\"" ;; esac
}
expect_message "?bogus=1" "unknown parameter ?bogus"
expect_message "?mute=1" "?mute takes no value"
expect_message "?start" "?start needs a value"
expect_message "?mode=abc" "?mode=abc: not WxH"
expect_message "?mode=0x360" "?mode=0x360: not WxH"
expect_message "?start=-1" "?start=-1: not SEC"
expect_message "?shot=1,x" '?shot: "x" is not a time in seconds'
expect_message "?bench=2&bench=3" "?bench is given twice"
# The program's own checks, after the page's: a time past the show's end.
expect_message "?mode=192x108&shot=100000" "past"

# ?bench with ?hud and ?gldebug: the table on the page for the frames asked,
# the display drawn over each of them (ImGui's GLSL ES renderer), 0 GL errors.
page_dom "?mode=160x90&bench=1&hud&gldebug" 60000 "$WORK/dom.html"
grep -q "<title>kestrel: bench done</title>" "$WORK/dom.html" || complain "?bench: the page did not finish the bench"
grep -q "bench: 160x90, 30 frames at 1/30 s steps from 0.000 s" "$WORK/dom.html" ||
  complain "?bench=1 at 160x90: no bench line for 30 frames"
grep -qE "^all +30 " "$WORK/dom.html" || complain "?bench: no total row of 30 frames"
grep -q "^Heads-up display: drawn over 30 bench frames" "$WORK/dom.html" || complain "?hud: the display was not drawn over the bench"
grep -q "^GL debug: 0 GL errors" "$WORK/dom.html" || complain "?gldebug: $(grep -E '^GL (debug|error)' "$WORK/dom.html" | head -3)"
[ $fail = 0 ] && rm -rf "$WORK"
exit $fail
