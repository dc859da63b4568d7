#!/usr/bin/env bash
# The author's preview (kestrel_gen --preview) over the built data, with one
# mesh cut to half: it exits 0, draws every mesh it can read alone from three
# sides (animated ones at three frames), each view whole inside its 240-pixel
# cell and at least a fifth of it across in one view, skips the cut mesh, and
# draws every scene's camera keys.
# Arguments: build directory, source directory.
set -u
source "$2/tests/support/program.bash" "$1" "$2"
use_sanitizer_defaults
GEN=$(find "$BUILD" -name kestrel_gen -type f -perm -u+x | head -1)
[ -n "$GEN" ] || fail "no kestrel_gen in $BUILD"
make_case_dir preview
damage_file jug.baf half
mkdir out
"$GEN" --preview data out >preview.log 2>&1 || fail "--preview exited $?: $(tail -3 preview.log)"

# A view's drawn part: the box of what differs from the cell's background.
box() { convert "$1" -crop 240x240+$(($2 * 240))+0 +repage -fuzz 2% -trim -format '%w %h %X %Y' info: 2>/dev/null; }
sheets=0
for path in "$BUILD"/data/*.bof "$BUILD"/data/*.baf; do
  name=$(basename "$path")
  [ "$name" = jug.baf ] && continue
  sheet="out/mesh_${name}_0.png"
  [ -f "$sheet" ] || { complain "no preview of $name"; continue; }
  sheets=$((sheets + 1))
  widest=0
  for view in 0 1 2; do
    read -r w h x y <<<"$(box "$sheet" "$view")"
    x=${x#+} y=${y#+}
    if [ "$x" -le 0 ] || [ "$y" -le 0 ] || [ $((x + w)) -ge 240 ] || [ $((y + h)) -ge 240 ]; then
      complain "$name, view $view: cut at the cell's edge (${w}x$h at $x,$y)"
    fi
    [ "$w" -gt "$widest" ] && widest=$w
    [ "$h" -gt "$widest" ] && widest=$h
  done
  [ "$widest" -ge 48 ] || complain "$name: under a fifth of its cell in every view ($widest pixels)"
  case "$name" in
    *.baf) [ "$(ls out/mesh_"${name}"_*.png | wc -l)" -eq 3 ] || complain "$name: not three frames" ;;
  esac
done
[ "$sheets" -ge 20 ] || complain "only $sheets meshes previewed"
[ ! -e out/mesh_jug.baf_0.png ] || complain "the cut jug.baf was drawn"
for scene in 1 2 4 5 6 7 8 9; do
  ls out/scene"$scene"*.png >/dev/null 2>&1 || complain "no preview of scene $scene"
done
[ "$fail" = 0 ] && rm -rf "$WORK" && echo "preview: ok ($sheets meshes)"
exit "$fail"
