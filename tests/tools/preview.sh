#!/usr/bin/env bash
# The author's preview (kestrel_gen --preview) over the built data, with one
# mesh cut to half: it exits 0, draws every mesh it can read alone from three
# sides (animated ones at three frames), each view whole inside its 240-pixel
# cell and at least a fifth of it across in one view, skips the cut mesh, and
# draws every scene's camera keys; and a square of its own drawn as reckoned.
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

# ---- one square, by reckoning ----
# A flat square facing the third view and lit there is drawn in one shade
# (its two triangles alike, within rounding) and fills most of its box (a
# trapezoid in perspective). A two-frame shape 20 and then 30 wide drawn at
# frame 0.5 is framed by frame 0: 25 / 20 as wide as its last frame framed
# by itself (the sheet of frame 0.5 is the one named 0); its texture lies
# on it as its u says.
mkdir synth synth_out
printf 'BOF1 4 2\n0 0 0\n0 -10 -10 0 0 0\n1 10 -10 0 1 0\n2 10 10 0 1 1\n3 -10 10 0 0 1\n0 0 2 1\n1 0 3 2\n' \
  >synth/kaleido.bof
{
  printf 'BAF1 4 2 2\n0 0 0\n'
  for s in 20 30; do   # the edge at u = 0 twice as tall as the one at u = 1
    printf '0 -%d -%d 0 0 0\n1 %d -%d 0 1 0\n2 %d %d 0 1 1\n3 -%d %d 0 0 1\n' $s $s $s $((s / 2)) $s $((s / 2)) $s $s
  done
  printf '0 0 1 2\n1 0 2 3\n'
} >synth/jug.baf
# its texture: blue at u < 0.5, red at u > 0.5
convert -size 8x16 xc:'rgb(40,40,200)' -size 8x16 xc:'rgb(200,40,40)' +append synth/label.jpg
"$GEN" --preview synth synth_out >synth.log 2>&1 || fail "--preview of the square exited $?: $(tail -3 synth.log)"
# drawn pixels of a view (not the cell's background), their darkest and lightest grey
drawn() {
  convert "$1" -crop 240x240+$(($2 * 240))+0 +repage -format %c histogram:info:- \
    | awk '!/#1A1A1F/ { n += $1; g = $2; gsub(/[(),]/, " ", g); split(g, c, " ");
           if (lo == "" || c[1] < lo) lo = c[1]; if (c[1] > hi) hi = c[1] } END { print n + 0, lo + 0, hi + 0 }'
}
read -r n lo hi <<<"$(drawn synth_out/mesh_kaleido.bof_0.png 2)"
read -r w h _ _ <<<"$(box synth_out/mesh_kaleido.bof_0.png 2)"
[ $((hi - lo)) -le 2 ] && [ "$lo" -gt 100 ] || complain "the flat square is drawn in shades $lo to $hi (unlit: 77)"
[ $((100 * n)) -ge $((80 * w * h)) ] || complain "the square covers $n of its ${w}x$h box"
read -r half _ _ _ <<<"$(box synth_out/mesh_jug.baf_0.png 0)"
read -r whole _ _ _ <<<"$(box synth_out/mesh_jug.baf_1.png 0)"
awk -v a="$half" -v b="$whole" 'BEGIN { exit !(a / b > 1.15 && a / b < 1.35) }' \
  || complain "at frame 0.5 the square is $half wide, $whole at its last frame (want 1.25 times)"
# The texture follows the geometry: its blue half lies on the tall side (u = 0).
side() {   # gravity: height of that fifth of the drawn square, and whether it is blue
  convert "$WORK/square.png" -gravity "$1" -crop 20%x100%+0+0 +repage -fuzz 2% -trim \
    -format '%h %[fx:mean.b > 2 * mean.r]' info:
}
convert synth_out/mesh_jug.baf_1.png -crop 240x240+0+0 +repage -fuzz 2% -trim +repage "$WORK/square.png"
read -r westHeight westBlue <<<"$(side west)"
read -r eastHeight eastBlue <<<"$(side east)"
if [ "$westHeight" -gt "$eastHeight" ]; then want="1 0"; else want="0 1"; fi
[ "$westBlue $eastBlue" = "$want" ] || complain "the texture's blue half is not on the square's tall side"
# The splash belongs to the first scene's burst views only: a splash added to
# the data changes them and leaves the scene's other views as they were.
cp synth/kaleido.bof synth/splash.baf && sed -i '1s/^BOF1 4 2/BAF1 4 2 1/' synth/splash.baf
mkdir synth_splash
"$GEN" --preview synth synth_splash >>synth.log 2>&1 || fail "--preview with a splash exited $?"
for key in 2 3 4; do
  cmp -s synth_out/scene1_key$key.png synth_splash/scene1_key$key.png || complain "the splash drawn in scene 1's view $key"
done
cmp -s synth_out/scene1_key0_burst.png synth_splash/scene1_key0_burst.png && complain "no splash in scene 1's burst"

[ "$fail" = 0 ] && rm -rf "$WORK" && echo "preview: ok ($sheets meshes)"
exit "$fail"
