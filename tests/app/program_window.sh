#!/usr/bin/env bash
# The program from the outside with --mode: the window opens, a quick Escape
# tap or the close box ends it with exit code 0 (also in full screen), and demo.log holds the logo,
# the title block, the GL report and the default-shader line in that order.
# Also the command line's exit codes. Args: build dir, source dir.
set -u
source "$2/tests/support/program.bash" "$1" "$2"
hold_display
enter_workdir window

# Command line: bad options exit 2 with the usage on stderr; help and version 0.
"$BUILD/kestrel" --mode 12x >out.txt 2>err.txt; [ $? -eq 2 ] || fail "bad --mode did not exit 2"
grep -q "usage: kestrel" err.txt || fail "no usage after a bad option"
[ -s out.txt ] && fail "a bad option wrote to stdout"
"$BUILD/kestrel" --no-such-option >/dev/null 2>err.txt; [ $? -eq 2 ] || fail "unknown option did not exit 2"
grep -q "no-such-option" err.txt || fail "the message does not name the option"
"$BUILD/kestrel" --help >out.txt 2>/dev/null || fail "--help did not exit 0"
grep -q -- "--mode WxH" out.txt || fail "--help does not list --mode"
"$BUILD/kestrel" --version >out.txt 2>/dev/null || fail "--version did not exit 0"
grep -q "^kestrel " out.txt || fail "--version printed no version"
[ -e demo.log ] && fail "option handling wrote a log"

# Escape, tapped once as soon as the window is there (even while it loads).
start_program --mode 320x180
id=$(wait_window "^KESTREL Engine V.0.1$" 120) || fail "no window titled 'KESTREL Engine V.0.1'"
geometry=$(xdotool getwindowgeometry "$id" | grep Geometry)
[[ $geometry == *"320x180"* ]] || fail "window is not 320x180: $geometry"
sleep 1
tap_key "$id" Escape
wait_exit 120
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after Escape"
check_log_head
logo=$(head -5 demo.log | grep -c "##")
[ "$logo" -eq 5 ] || fail "the logo is not five lines"
# The GL report follows the title block, then the default shader line.
expected="Renderer: 
OpenGL version supported 
 --------------------------------------------------
GL Context Params:
GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS 
GL_MAX_CUBE_MAP_TEXTURE_SIZE 
GL_MAX_DRAW_BUFFERS 
GL_MAX_FRAGMENT_UNIFORM_COMPONENTS 
GL_MAX_TEXTURE_IMAGE_UNITS 
GL_MAX_TEXTURE_SIZE 
GL_MAX_VARYING_FLOATS 
GL_MAX_VERTEX_ATTRIBS 
GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS 
GL_MAX_VERTEX_UNIFORM_COMPONENTS 
GL_MAX_VIEWPORT_DIMS 
GL_STEREO 
 --------------------------------------------------
Compiling default 3D shader..."
i=12
while IFS= read -r want; do
  got=$(sed -n "${i}p" demo.log)
  [[ $got == "$want"* ]] || fail "log line $i is '$got', expected it to start with '$want'"
  i=$((i + 1))
done <<<"$expected"
sed -n 16p demo.log | grep -Eqx "GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS [1-9][0-9]*" || fail "no texture-unit count"
sed -n 26p demo.log | grep -Eqx "GL_MAX_VIEWPORT_DIMS [1-9][0-9]* [1-9][0-9]*" || fail "no viewport dims"
sed -n 27p demo.log | grep -Eqx "GL_STEREO [01]" || fail "GL_STEREO not 0 or 1"
grep -q "ERROR: frame accumulation\|ERROR: no float framebuffer" demo.log && fail "frame accumulation not available"

# The window's close box.
rm -f demo.log
start_program --mode 256x144
id=$(wait_window "^KESTREL Engine V.0.1$" 120) || fail "no window for the close test"
sleep 1
close_window "$id"
wait_exit 120
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after closing the window"
grep -q "Compiling default 3D shader" demo.log || fail "closing run has no default-shader line"

# Full screen: on the monitor, with its own title.
rm -f demo.log
start_program --fullscreen --mode 320x180
id=$(wait_window "^Fullscreen, yay!$" 120) || fail "no full-screen window titled 'Fullscreen, yay!'"
sleep 1
tap_key "$id" Escape
wait_exit 120
[ "$STATUS" -eq 0 ] || fail "exit code $STATUS after Escape in full screen"

cd / && rm -rf "$WORK"
echo "program window tests passed"
