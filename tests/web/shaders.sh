#!/usr/bin/env bash
# Every data shader compiles and links under WebGL 1 (GLSL ES 1.00 with
# OES_standard_derivatives) through the engine's own loader: a still drawn
# with ?gldebug loads the whole resource table; its log (kept on the page)
# must name every data/*.vs and *.fs in a "loading <...>" line, report no
# shader that failed to compile or link, and count 0 GL errors.
# Arguments: build directory, source directory. Skips (77) without build-web/.
set -u
source "$2/tests/support/web.bash" "$2"
start_server
page_dom "?mode=192x108&gldebug&shot=60" 60000 "$WORK/dom.html"
grep -q "<title>kestrel: shots ready</title>" "$WORK/dom.html" || complain "the still was not drawn"
python3 -c '
import html, re, sys
m = re.search(r"<pre id=\"log\"[^>]*>(.*?)</pre>", open(sys.argv[1], encoding="utf-8").read(), re.S)
sys.stdout.write(html.unescape(m.group(1)) if m else "")' "$WORK/dom.html" >"$WORK/log.txt"
[ -s "$WORK/log.txt" ] || complain "no log on the page"
count=0
for f in "$SRC"/data/*.vs "$SRC"/data/*.fs; do
  n=$(basename "$f")
  grep -qE "^loading <([^>|]*\|)?$n(\|[^>]*)?>" "$WORK/log.txt" || complain "$n: no loading line"
  count=$((count + 1))
done
if grep -E "did not compile|did not link|can't compile" "$WORK/log.txt"; then complain "a shader failed under WebGL 1"; fi
grep -q "^GL debug: 0 GL errors" "$WORK/log.txt" ||
  complain "GL errors: $(grep -E '^GL (debug|error)' "$WORK/log.txt" | head -5)"
echo "$count data shaders loaded under WebGL 1"
[ $fail = 0 ] && rm -rf "$WORK"
exit $fail
