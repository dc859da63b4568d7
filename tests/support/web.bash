# The browser tests' library: the built page (build-web/ beside the sources,
# made by scripts/web.sh), a static server for it on the loopback, and
# headless Chromium on software WebGL (SwiftShader through ANGLE).
# Usage: source "$SRC/tests/support/web.bash" SOURCE_DIR
# Sets SRC, WEB and fail=0; exits 77 (the suite's skip) when the page was not
# built or Chromium is missing, so a desktop-only build skips these tests.
[ $# -ge 1 ] || { echo "usage: source web.bash SOURCE_DIR" >&2; exit 2; }
SRC=$(cd "$1" && pwd -P) || exit 2
WEB=${KESTREL_WEB_DIR:-$SRC/build-web}
fail=0
complain() { echo "FAIL: $*"; fail=1; }
for f in kestrel.html kestrel.js kestrel.wasm kestrel.data; do
  [ -f "$WEB/$f" ] || { echo "SKIP: $WEB/$f is missing (bash scripts/web.sh builds the page)"; exit 77; }
done
command -v chromium >/dev/null || { echo "SKIP: no chromium (bash scripts/web.sh installs it)"; exit 77; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-web.XXXXXX")

# The flags that give headless Chromium WebGL on this machine's CPU.
CHROMIUM_FLAGS=(--headless=new --no-sandbox --enable-unsafe-swiftshader --use-angle=swiftshader
  --disable-gpu-sandbox --no-first-run --disable-extensions --user-data-dir="$WORK/profile")

# start_server: serves $WEB on a free loopback port (PORT, BASE), stopped when the test exits.
start_server() {
  : >"$WORK/server.txt"
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$WEB" >"$WORK/server.txt" 2>&1 &
  SERVER=$!
  trap 'kill $SERVER 2>/dev/null; rm -rf "$WORK/profile"' EXIT
  for _ in $(seq 50); do
    PORT=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$WORK/server.txt" | head -1)
    [ -n "$PORT" ] && break
    sleep 0.1
  done
  [ -n "$PORT" ] || { echo "FAIL: the static server did not start"; cat "$WORK/server.txt"; exit 1; }
  BASE="http://127.0.0.1:$PORT/kestrel.html"
}

# page_dom QUERY BUDGET_MS OUT: the page's DOM after BUDGET_MS of virtual time
# (work done inside main completes; animation frames hardly run).
page_dom() {
  timeout 300 chromium "${CHROMIUM_FLAGS[@]}" --virtual-time-budget="$2" --dump-dom "$BASE$1" >"$3" 2>"$WORK/chromium.txt"
}
