# Helpers for the program-level tests: a fresh working directory next to the
# built data, waiting for windows by title, ending the program the ways a user
# can (keys, the window's close box), and checking how it exited.
# Usage: source this file with BUILD (build dir) set.

if [ -z "${DISPLAY:-}" ]; then
  echo "no DISPLAY: these tests run under xvfb-run (scripts/test.sh)" >&2
  exit 1
fi

fail() { echo "FAIL: $*" >&2; exit 1; }

# An X server without -noreset resets when its last client leaves and refuses
# connections meanwhile; one client held open for the whole test keeps the
# next program from failing to open the display. The holder leaves by itself
# when this shell is gone (a sourcing script may replace the EXIT trap) and
# holds none of the test's output pipes, which ctest waits on.
python3 -c 'import ctypes, os, sys, time
os.closerange(3, 4096)
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
d = x.XOpenDisplay(None)
owner = int(sys.argv[1])
while True:
    try:
        os.kill(owner, 0)
    except OSError:
        break
    time.sleep(0.5)' "$$" </dev/null >/dev/null 2>&1 &
KEEPER=$!
trap 'kill $KEEPER 2>/dev/null' EXIT
sleep 0.3

# A fresh directory with ./data pointing at the build's data; cd into it.
enter_workdir() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-$1.XXXXXX")
  ln -s "$BUILD/data" "$WORK/data"
  cd "$WORK"
}

# Starts the program in the background; its pid in PID, output in out.txt/err.txt.
start_program() {
  "$BUILD/kestrel" "$@" >out.txt 2>err.txt &
  PID=$!
}

# Prints the id of the first visible window whose name matches, waiting up to $2 s.
wait_window() {
  local name=$1 limit=$((${2:-60} * 5)) id
  for _ in $(seq 1 "$limit"); do
    id=$(xdotool search --all --onlyvisible --pid "$PID" --name "$name" 2>/dev/null | head -1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    if ! kill -0 "$PID" 2>/dev/null; then
      wait "$PID"
      echo "the program ended (exit code $?) before a window '$name' showed; its stderr:" >&2
      tail -5 err.txt >&2
      return 1
    fi
    sleep 0.2
  done
  echo "no window '$name' within $2 s" >&2
  return 1
}

# Waits up to $1 s for the program to end; its exit status in STATUS.
wait_exit() {
  local limit=$((${1:-60} * 5))
  for _ in $(seq 1 "$limit"); do
    if ! kill -0 "$PID" 2>/dev/null; then
      wait "$PID"; STATUS=$?
      return 0
    fi
    sleep 0.2
  done
  kill -9 "$PID" 2>/dev/null; wait "$PID" 2>/dev/null
  fail "the program did not end within ${1:-60} s"
}

# A quick tap (press and release in one go) to a window. xdotool presses
# through XTEST when the window has the focus; if the window is gone before
# the release (the program ended on the press) the key stays down in the
# server and auto-repeats into the next window, so it is released again here.
tap_key() {
  xdotool key --window "$1" "$2" 2>/dev/null || true
  xdotool keyup "$2" 2>/dev/null || true
}

# What the window manager's close box sends: WM_DELETE_WINDOW in WM_PROTOCOLS.
close_window() {
  python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
if not d:
    sys.exit("cannot open display")
e = Event()
e.xclient.type = 33   # ClientMessage
e.xclient.window = int(sys.argv[1])
e.xclient.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
e.xclient.format = 32
e.xclient.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, int(sys.argv[1]), 0, 0, ctypes.byref(e))
x.XFlush(d)
x.XCloseDisplay(d)
PY
}

# The log's head as the program writes it: logo (5 lines), an empty line,
# then the five-line title block.
check_log_head() {
  [ -f demo.log ] || fail "no demo.log"
  sed -n 6p demo.log | grep -qx "" || fail "line 6 of the log is not empty"
  sed -n 7p demo.log | grep -qx "                KESTREL Engine V.0.1" || fail "no title line"
  sed -n 8p demo.log | grep -qx -- "-\{52\}" || fail "no rule after the title"
  sed -n 9p demo.log | grep -qx "by the Kestrel developers *Warning:WIP!" || fail "no credit line"
  [ "$(sed -n 9p demo.log | tr -d '\n' | wc -c)" -eq 52 ] || fail "credit line is not 52 wide"
  sed -n 10p demo.log | grep -qx -- "-\{52\}" || fail "no closing rule"
  sed -n 11p demo.log | grep -qx "" || fail "no empty line after the title block"
}
