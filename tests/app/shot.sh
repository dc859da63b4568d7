#!/usr/bin/env bash
# Stills from the command line: --shot writes a letterboxed PNG of the window's
# size and exits 0; malformed requests exit 2 before any window opens.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
make_build_workdir shot
cd "$BUILD" || exit 1

for bad in "5" ":a.png" "x:a.png" "-1:a.png" "5:a.jpg" "5:" "nan:a.png" "inf:a.png" "5:.png"; do
  "$PROGRAM" --shot "$bad" >/dev/null 2>&1
  rc=$?
  if [ "$rc" -ne 2 ]; then echo "--shot '$bad' exited $rc, expected 2"; fail=1; fi
done

"$PROGRAM" --mode 160x120 --shot "0.5:$WORK/a.png" --shot "2:$WORK/b.PNG" >"$WORK/out.txt" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then echo "stills exited $rc"; cat "$WORK/out.txt"; fail=1; fi
if grep -q 'ERROR' "$WORK/out.txt"; then echo "stills written and an error logged:"; grep ERROR "$WORK/out.txt"; fail=1; fi
for f in a.png b.PNG; do
  if [ ! -s "$WORK/$f" ]; then echo "no still $f"; fail=1; continue; fi
  size=$(identify -format "%wx%h" "$WORK/$f")
  if [ "$size" != "160x120" ]; then echo "$f is $size, expected 160x120"; fail=1; fi
done

# 4:3 gets black bars of 15 rows top and bottom (the picture between them
# depends on the show's content, which may itself be dark at these times).
if [ -s "$WORK/a.png" ]; then
  pixel() { convert "$WORK/a.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}'; }
  for spot in "0 0" "80 14" "159 119" "80 105"; do
    p=$(pixel $spot)
    if [ "$p" != "#000000" ]; then echo "bar pixel at $spot is $p"; fail=1; fi
  done
fi
exit $fail
