#!/usr/bin/env bash
# The whole show, rendered offline at fixed steps from its first frame to its
# end at a small size with --gl-debug: exit code 0, zero GL errors, every step
# rendered, nothing written but the log and the frames (strace), and (in the
# sanitizer build) no AddressSanitizer or UndefinedBehaviorSanitizer report.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
# HARDENING_SIZE (default 320x180) and HARDENING_FPS (default 4, 2 in the
# sanitizer build, to keep the suite's time) choose the size and the step.
set -u
source "$2/tests/support/program.bash" "$1" "$2"
use_sanitizer_defaults
use_dummy_sound
read_show_timing
size=${HARDENING_SIZE:-320x180}
if is_sanitizer_build; then fps=${HARDENING_FPS:-2}; else fps=${HARDENING_FPS:-4}; fi
make_case_dir "show"
fail=0

# Traced: a full run writes the log and what --capture asks for, nothing else.
traced show.trace "$BUILD/kestrel" --mode "$size" --gl-debug --capture frames --fps "$fps" >out.txt 2>err.txt
rc=$?
extra=$(unexpected_writes show.trace '^frames$' '^frames/(frame_[0-9]+\.png|soundtrack\.wav)$')
[ -z "$extra" ] || { echo "the capture run wrote more than expected:"; echo "$extra" | head; fail=1; }
[ "$rc" -eq 0 ] || { echo "exit code $rc"; tail -20 err.txt; fail=1; }
report=$(sanitizer_report err.txt)
[ -z "$report" ] || { echo "sanitizer report:"; grep -B2 -A20 -m1 -E 'ERROR|runtime error' err.txt; fail=1; }
errors=$(gl_error_total demo.log)
if [ "$errors" != 0 ]; then
  echo "GL errors: $errors"; grep '^GL error' demo.log | head -20; fail=1
fi
# Every step up to the show's end was rendered (the last may fall just past it).
frames=$(ls frames 2>/dev/null | grep -c '^frame_.*\.png$')
expected=$(python3 -c "import math; print(math.floor($SHOW_END * $fps))")
if [ "$frames" -lt "$expected" ]; then echo "only $frames frames of $expected"; fail=1; fi
grep -q '^Capture done' demo.log || { echo "the capture did not finish"; fail=1; }
echo "$size, 1/$fps s steps: $frames frames, GL errors $errors, sanitizer report: ${report:-none}"
cd /
[ $fail -eq 0 ] && rm -rf "$WORK"
exit $fail
