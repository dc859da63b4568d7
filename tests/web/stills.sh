#!/usr/bin/env bash
# The browser build's stills: the page at ?mode=192x108&shot=<the 36 reference
# times> in headless Chromium must hold 36 links, in the order asked, titled
# "kestrel: shots ready", each within the browser tolerance of the desktop
# reference still (tests/stills/reference: mean at most 2/255, 98.5 % of the
# pixels within 8/255) and, on the Chromium version tests/stills/web/chromium.txt
# names, equal byte for byte to the exact browser set there.
# Arguments: build directory, source directory. Skips (77) without build-web/.
# KESTREL_UPDATE_REFERENCE=1 rewrites the exact browser set.
set -u
BUILD=$(cd "$1" && pwd -P) || exit 2
source "$2/tests/support/web.bash" "$2"
compare="$BUILD/tests/still_compare"
reference="$SRC/tests/stills/reference"
exact="$SRC/tests/stills/web"
start_server

# The reference stills' times, from their names (still_NN_SEC.png).
names=()
times=()
for f in "$reference"/still_*.png; do
  n=$(basename "$f")
  names+=("$n")
  t=${n#still_??_}
  times+=("${t%.png}")
done
[ ${#times[@]} -eq 36 ] || { echo "FAIL: ${#times[@]} reference stills, not 36"; exit 1; }
list=$(IFS=,; echo "${times[*]}")
page_dom "?mode=192x108&shot=$list" 120000 "$WORK/dom.html"
grep -q "<title>kestrel: shots ready</title>" "$WORK/dom.html" ||
  { echo "FAIL: the page did not get ready"; grep -o '<div id="message">[^<]*' "$WORK/dom.html"; exit 1; }
mkdir -p "$WORK/shots"
mapfile -t got < <(python3 "$SRC/tests/web/page_stills.py" "$WORK/dom.html" "$WORK/shots")
[ ${#got[@]} -eq 36 ] || complain "${#got[@]} stills on the page, not 36"

version=$(chromium --version 2>/dev/null | grep -o 'Chromium [0-9.]*')
if [ "${KESTREL_UPDATE_REFERENCE:-0}" = 1 ]; then
  rm -rf "$exact" && mkdir -p "$exact"
  for i in "${!names[@]}"; do cp "$WORK/shots/shot-${times[$i]}.png" "$exact/${names[$i]}"; done
  echo "$version" >"$exact/chromium.txt"
  echo "wrote ${#names[@]} browser stills to $exact ($version)"
fi
sameVersion=0
[ -f "$exact/chromium.txt" ] && [ "$(cat "$exact/chromium.txt")" = "$version" ] && sameVersion=1
worstMean=0
for i in "${!names[@]}"; do
  shot="$WORK/shots/shot-${times[$i]}.png"
  [ "${got[$i]:-}" = "shot-${times[$i]}.png" ] || complain "link $i is ${got[$i]:-missing}, not shot-${times[$i]}.png"
  [ -f "$shot" ] || continue
  if ! result=$("$compare" --browser "$reference/${names[$i]}" "$shot"); then
    complain "${names[$i]} against the desktop reference: $result"
  fi
  mean=$(echo "$result" | sed -n 's/.*mean \([0-9.]*\)\/255.*/\1/p')
  worstMean=$(awk -v a="$worstMean" -v b="${mean:-0}" 'BEGIN { print (b > a ? b : a) }')
  if [ $sameVersion = 1 ] && ! r=$("$compare" --exact "$exact/${names[$i]}" "$shot"); then
    complain "${names[$i]} differs from the exact browser set ($version): $r"
  fi
done
echo "36 browser stills, largest mean difference to the desktop reference $worstMean/255;" \
  "exact browser set $([ $sameVersion = 1 ] && echo "checked ($version)" || echo "not checked: made on $(cat "$exact/chromium.txt" 2>/dev/null || echo none), running $version")"
[ $fail = 0 ] && rm -rf "$WORK"
exit $fail
