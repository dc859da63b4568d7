#!/usr/bin/env bash
# The window's size followed: stills rendered after the window went from
# 192x108 to 320x180 (--resize-to, the same settle-and-remake path a user's
# resize takes) must equal, pixel for pixel, stills of a fresh start at
# 320x180 in four scenes; the other way round (down to 160x90) as well. The
# log must name the size the buffers followed.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
compare="$BUILD/tests/still_compare"
enter_build_workdir window_resize

# One scene start a scene, seconds (bars 2, 20, 48 and 90 at 130 bpm).
times="3.692 36.923 88.615 166.154"
shots() {   # shots PREFIX: the --shot arguments
  for t in $times; do printf -- "--shot\n%s:%s/%s_%s.png\n" "$t" "$WORK" "$1" "$t"; done
}
run() {   # run NAME ARGS...: one program run, its log kept as NAME.log
  local name="$1"
  shift
  "$PROGRAM" "$@" >"$WORK/$name.out" 2>&1
  local rc=$?
  cp demo.log "$WORK/$name.log" 2>/dev/null
  if [ "$rc" -ne 0 ]; then echo "FAIL: $name exited $rc"; tail -5 "$WORK/$name.out"; fail=1; fi
}

check_pair() {   # check_PAIR FROM TO
  local from="$1" to="$2"
  mapfile -t fresh < <(shots "fresh_$to")
  mapfile -t resized < <(shots "resized_${from}_$to")
  run "fresh_$to" --mode "$to" "${fresh[@]}"
  run "resized_${from}_$to" --mode "$from" --resize-to "$to" "${resized[@]}"
  local w=${to%x*} h=${to#*x}
  if ! grep -q "post buffers and accumulation follow the framebuffer: $w x $h" "$WORK/resized_${from}_$to.log"; then
    echo "FAIL: $from -> $to: the log does not say the buffers followed"
    fail=1
  fi
  for t in $times; do
    local a="$WORK/fresh_${to}_$t.png" b="$WORK/resized_${from}_${to}_$t.png"
    if ! result=$("$compare" --exact "$a" "$b" 2>&1); then
      echo "FAIL: $from -> $to at $t s differs from a fresh start: $result"
      fail=1
    fi
  done
}

check_pair 192x108 320x180
check_pair 192x108 160x90

# Sizes that cannot be played: over the 1 GiB frame budget is a usage error
# (2) before anything is made; beyond the GL limits (known once the context
# exists; llvmpipe's are 16384) ends with 1 and names the limit.
"$PROGRAM" --mode 16384x16384 >"$WORK/budget.out" 2>&1
rc=$?
[ "$rc" = 2 ] || { echo "FAIL: --mode 16384x16384 exited $rc, wanted 2"; fail=1; }
grep -q "more than the 1024 MiB budget" "$WORK/budget.out" || { echo "FAIL: no budget message"; fail=1; }
"$PROGRAM" --mode 20000x8 --shot 1:"$WORK/wide.png" >"$WORK/limits.out" 2>&1
rc=$?
[ "$rc" = 1 ] || { echo "FAIL: --mode 20000x8 exited $rc, wanted 1"; fail=1; }
grep -q "beyond this GL's limits (GL_MAX_" "$WORK/limits.out" || { echo "FAIL: no GL limit message"; fail=1; }
[ -e "$WORK/wide.png" ] && { echo "FAIL: a still was written at 20000x8"; fail=1; }

[ "$fail" = 0 ] && echo "window resize: pictures after a resize equal fresh starts"
exit "$fail"
