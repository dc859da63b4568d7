# The one library of the shell tests and of the scripts that drive the built
# program (scripts/hardening.sh, scripts/hostile_data.sh): where the program
# and the sources are, failures (fatal or collected), working folders next to
# the built data, the show's length and timing as the built data gives them,
# windows found and driven on the shared display, and the hardening helpers
# (damaged data files, sanitizer reports, GL error counts, traced writes).
# Usage: source "$SRC/tests/support/program.bash" BUILD_DIR SOURCE_DIR
# Sets BUILD, SRC (both absolute), PROGRAM and fail=0; everything else is a
# function the test calls for what it needs.

[ $# -ge 2 ] || { echo "usage: source program.bash BUILD_DIR SOURCE_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd -P) || exit 2
SRC=$(cd "$2" && pwd -P) || exit 2
PROGRAM="$BUILD/kestrel"
fail=0

# ---- failures ------------------------------------------------------------------------
# fail MESSAGE: the test cannot go on; exits 1. complain MESSAGE: one check
# failed, the test goes on and ends with "exit $fail".
fail() { echo "FAIL: $*" >&2; exit 1; }
complain() { echo "FAIL: $*"; fail=1; }

# Commands run when the test's shell exits, in the order given (a test that
# sets its own EXIT trap replaces them).
EXIT_STEPS=()
on_exit() {
  EXIT_STEPS+=("$1")
  trap 'for step in "${EXIT_STEPS[@]}"; do eval "$step"; done' EXIT
}

# ---- working folders -----------------------------------------------------------------
# enter_workdir NAME: a fresh folder under $TMPDIR with ./data linking the
# build's data, in WORK; cd there. Left in place (a test removes it on success).
enter_workdir() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-$1.XXXXXX")
  ln -s "$BUILD/data" "$WORK/data"
  cd "$WORK" || exit 1
}

# enter_short_workdir: a fresh folder with a short path (/tmp/kapXXXX: the
# data buffers hold the data directory and a file name together), in WORK,
# removed when the test ends; cd there. No data link: the test makes its own.
enter_short_workdir() {
  WORK=$(mktemp -d /tmp/kapXXXX)
  on_exit 'rm -rf "$WORK"'
  cd "$WORK" || exit 1
}

# make_build_workdir NAME: a fresh folder tests/tmp_NAME of the build tree in
# WORK, kept after the run to be looked at. enter_build_workdir NAME: the
# same with ./data linking the build's data; cd there.
make_build_workdir() {
  WORK="$BUILD/tests/tmp_$1"
  rm -rf "$WORK" && mkdir -p "$WORK"
}
enter_build_workdir() {
  make_build_workdir "$1"
  cd "$WORK" || exit 1
  ln -s "$BUILD/data" data
}

# make_case_dir NAME: a fresh folder under $TMPDIR whose data/ links every
# file of the build's data one by one (a case replaces one link with a real
# file), in WORK; cd there.
make_case_dir() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-$1.XXXXXX")
  mkdir "$WORK/data"
  local f
  for f in "$BUILD"/data/*; do ln -s "$f" "$WORK/data/$(basename "$f")"; done
  cd "$WORK" || exit 1
}

# copy_bare_program: a copy of the program in $WORK/bare/kestrel, outside the
# build tree, where it finds no data anywhere.
copy_bare_program() {
  mkdir -p "$WORK/bare" && cp "$PROGRAM" "$WORK/bare/kestrel"
}

# ---- the environment -----------------------------------------------------------------
# No sound device under test: SDL's dummy driver keeps the music clock running.
use_dummy_sound() { export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}; }

# The sanitizer options of the hardening runs, unless the caller chose others.
use_sanitizer_defaults() {
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
}

# Sanitizer builds report through stderr; a build's cache says which it is.
is_sanitizer_build() {
  grep -q '^KESTREL_SANITIZE:BOOL=ON' "$BUILD/CMakeCache.txt" 2>/dev/null
}

# ---- the show's length and timing ----------------------------------------------------
# read_show_length: SHOW_LENGTH, the show's length in seconds as the program
# reports it (--info); the test fails when there is none.
read_show_length() {
  SHOW_LENGTH=$("$PROGRAM" --info --data "$BUILD/data" | sed -n 's/^show length: \([0-9.]*\) s$/\1/p')
  [ -n "$SHOW_LENGTH" ] || { echo "FAIL: --info gave no show length"; exit 1; }
}

# The show's timing, read from the built scene track (130 bpm, 4 rows a
# beat): SCENE_START[k-1] where scene k begins, SCENE_TIMES[k-1] the middle of
# scene k (its stills are taken there), SHOW_END where the track steps from 9
# to 1. Prints nothing when the track is unusable.
show_timing() {
  python3 - "$BUILD/data/sync_scene.track" <<'PY'
import struct, sys
try:
    data = open(sys.argv[1], "rb").read()
    n = struct.unpack_from("<i", data, 0)[0]
    keys = [struct.unpack_from("<ifb", data, 4 + 9 * i) for i in range(n)]
except Exception:
    sys.exit(0)
rows_per_second = 130.0 * 4 / 60
starts = {}
end = None
for i, (row, value, _) in enumerate(keys):
    scene = int(value)
    if 1 <= scene <= 9 and scene not in starts:
        starts[scene] = row
    if i and keys[i - 1][1] == 9.0 and value == 1.0:
        end = row
if end is None or sorted(starts) != list(range(1, 10)):
    sys.exit(0)
bounds = [starts[k] for k in range(1, 10)] + [end]
print(" ".join("%.3f" % (bounds[k] / rows_per_second) for k in range(9)))
print(" ".join("%.3f" % ((bounds[k] + bounds[k + 1]) / 2 / rows_per_second) for k in range(9)))
print("%.3f" % (end / rows_per_second))
PY
}

# read_show_timing: sets SCENE_START, SCENE_TIMES and SHOW_END (empty arrays
# and 0, with a message, when the track is unusable).
read_show_timing() {
  local timing
  mapfile -t timing < <(show_timing)
  if [ ${#timing[@]} -eq 3 ]; then
    read -r -a SCENE_START <<<"${timing[0]}"
    read -r -a SCENE_TIMES <<<"${timing[1]}"
    SHOW_END=${timing[2]}
  else
    echo "cannot read the show's timing from $BUILD/data/sync_scene.track" >&2
    SCENE_START=() SCENE_TIMES=() SHOW_END=0
  fi
}
# A time SECONDS before the end of the show.
before_end() { python3 -c "print('%.3f' % max(0.0, $SHOW_END - $1))"; }

# ---- windows on the shared display ---------------------------------------------------
# hold_display: refuses to run without a display, then holds one client open
# for the whole test. An X server without -noreset resets when its last
# client leaves and refuses connections meanwhile; the held client keeps the
# next program from failing to open the display. The holder (pid in KEEPER)
# leaves by itself when this shell is gone (a test may replace the EXIT trap)
# and holds none of the test's output pipes, which ctest waits on.
hold_display() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "no DISPLAY: these tests run under xvfb-run (scripts/test.sh)" >&2
    exit 1
  fi
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
  on_exit 'kill $KEEPER 2>/dev/null'
  sleep 0.3
}

# Starts the program in the background; its pid in PID, output in out.txt/err.txt.
start_program() {
  "$PROGRAM" "$@" >out.txt 2>err.txt &
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

# ---- pictures of the window ----------------------------------------------------------
# A test waits for the frame it needs, never for a fixed time: these look
# every 0.2 s for up to $PICTURE_WAIT s (default 30), however loaded the machine.
PICTURE_WAIT=${PICTURE_WAIT:-30}
# Equal up to one step of a channel (a present may average a different number
# of equal frames and round a channel the other way).
pictures_alike() { [ "$(compare -metric AE -fuzz 1% "$1" "$2" null: 2>&1)" = 0 ]; }
# Captures window $1 into $2 until "$3 ... $2" accepts it; 1 if it never does.
capture_until() {
  local win=$1 file=$2 _
  shift 2
  for _ in $(seq 1 $((PICTURE_WAIT * 5))); do
    import -window "$win" "$file" 2>/dev/null && "$@" "$file" && return 0
    sleep 0.2
  done
  return 1
}
# Captures window $1 into $2 once two captures 0.2 s apart differ in at most
# $3 pixels (default 0: the picture has settled); 1 if it never settles.
capture_settled() {
  local win=$1 file=$2 most=${3:-0} prev="${2%.png}-before.png" differ _
  import -window "$win" "$prev" 2>/dev/null
  for _ in $(seq 1 $((PICTURE_WAIT * 5))); do
    sleep 0.2
    import -window "$win" "$file" 2>/dev/null || continue
    differ=$(compare -metric AE -fuzz 1% "$prev" "$file" null: 2>&1)
    [[ $differ =~ ^[0-9]+$ ]] && [ "$differ" -le "$most" ] && { rm -f "$prev"; return 0; }
    mv "$file" "$prev"
  done
  return 1
}

# Waits until window $1 shows more than one colour: it has drawn itself, so
# its event loop runs and takes keys; 1 if it never does.
wait_drawn() {
  local file
  file=$(mktemp --suffix=.png)
  drawn() { [ "$(identify -format %k "$1" 2>/dev/null)" -gt 1 ] 2>/dev/null; }
  capture_until "$1" "$file" drawn
  local status=$?
  rm -f "$file"
  return $status
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

# ---- the log -------------------------------------------------------------------------
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

# Prints the sanitizer report lines of a stderr capture (nothing when clean).
sanitizer_report() {
  grep -aE 'ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:|SUMMARY: (Address|UndefinedBehavior)Sanitizer' "$1" | head -5
}

# The GL error total of a --gl-debug run's log, or "none" when the run never
# wrote it (crash, or no GL context).
gl_error_total() {
  local n
  n=$(grep -ao 'GL debug: [0-9]* GL errors' "$1" | tail -1 | grep -o '[0-9]\+')
  echo "${n:-none}"
}

# ---- hardening: damaged data and traced writes ----------------------------------------
# Damages data/NAME in the current case directory by MODE:
#   missing   removed
#   empty     truncated to 0 bytes
#   half      truncated to half its size
#   short     one byte short
#   corrupt   bytes overwritten at the head (the type word, header or count),
#             in the middle and near the end
damage_file() {
  local name=$1 mode=$2 source="$BUILD/data/$1" target="data/$1"
  local size
  size=$(stat -c %s "$source")
  rm -f "$target"
  case "$mode" in
    missing) ;;
    empty) : >"$target" ;;
    half) head -c $((size / 2)) "$source" >"$target" ;;
    short) head -c $((size - 1)) "$source" >"$target" ;;
    corrupt)
      cp "$source" "$target"
      python3 - "$target" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
n = len(data)
def smash(at, count):
    for i in range(at, min(at + count, n)):
        data[i] = (data[i] ^ 0xA5) | 0x80   # high-bit bytes: never plain text or digits
smash(0, 12)
smash(n // 2, 64)
smash(max(0, n - 40), 24)
open(path, "wb").write(bytes(data))
PY
      ;;
    *) echo "unknown damage mode $mode" >&2; return 2 ;;
  esac
}

# Lines of demo.log that name FILE, other than the "loading <...>" lines every
# run writes.
lines_naming() {
  grep -aF "data/$1" demo.log 2>/dev/null | grep -av '^loading <'
}

# Data files other than FILE named in the log outside the "loading" lines:
# a resource that did not load. Prints them. A line that names FILE as well
# is about FILE (the link report of a shader pair names both of its files).
other_files_named() {
  local skip=$1 f n
  for f in "$BUILD"/data/*; do
    n=$(basename "$f")
    [ "$n" = "$skip" ] && continue
    if lines_naming "$n" | grep -avF "data/$skip" | grep -q .; then echo "$n"; fi
  done
}

# Runs the program on the current case directory: stills at a time in every
# scene, or for the soundtrack (read only when the show plays) the last
# seconds of the show in real time. Output in out.txt / err.txt; exit code in RC.
run_case_program() {
  local name=$1 args=(--mode 160x90 --gl-debug) i
  if [ "${name##*.}" = mp3 ]; then
    args+=(--start "$(before_end 2)")
  else
    for i in "${!SCENE_TIMES[@]}"; do args+=(--shot "${SCENE_TIMES[$i]}:shot$((i + 1)).png"); done
  fi
  timeout 300 "$BUILD/kestrel" "${args[@]}" >out.txt 2>err.txt
  RC=$?
}

# One hostile case: damage NAME by MODE, run, check. Prints one line, PASS or
# FAIL with the reasons; returns 0 on pass. Keeps the case directory on failure.
hostile_case() {
  local name=$1 mode=$2 problems="" here=$PWD
  make_case_dir "hostile"
  damage_file "$name" "$mode" || { cd "$here"; return 2; }
  run_case_program "$name"
  [ "$RC" -eq 0 ] || problems+=" exit code $RC;"
  local report
  report=$(sanitizer_report err.txt)
  [ -z "$report" ] || problems+=" sanitizer: $report;"
  # Removed or empty files must be reported. Cut or corrupted ones may be
  # read as they are when the damage is harmless (a text file that loses its
  # last line feed, a stream the decoder resynchronises): then the loading
  # line is what names the file, and the case is counted as tolerated.
  local outcome=reported
  if ! lines_naming "$name" | grep -q .; then
    if [ "$mode" != missing ] && [ "$mode" != empty ] && grep -aq "^loading <.*$name" demo.log; then
      outcome=tolerated
    else
      problems+=" no log line names $name;"
    fi
  fi
  local others
  others=$(other_files_named "$name" | tr '\n' ' ')
  [ -z "$others" ] || problems+=" other files reported: $others;"
  grep -aq '^loading complete!' demo.log || problems+=" loading did not complete;"
  local gl
  gl=$(gl_error_total demo.log)
  [ "$gl" = 0 ] || problems+=" GL errors: $gl;"
  if [ "${name##*.}" != mp3 ]; then
    local i
    for i in $(seq 1 ${#SCENE_TIMES[@]}); do
      [ -s "shot$i.png" ] || { problems+=" still $i missing;"; break; }
    done
  fi
  cd "$here" || return 1
  if [ -n "$problems" ]; then
    echo "FAIL $name $mode:$problems (kept in $WORK)"
    return 1
  fi
  if [ "$outcome" = tolerated ]; then
    echo "PASS $name $mode (tolerated: loaded as it is, no complaint)"
  else
    echo "PASS $name $mode ($(lines_naming_in "$WORK" "$name"))"
  fi
  rm -rf "$WORK"
  return 0
}

# The first log line of a case directory naming NAME, for the PASS line.
lines_naming_in() {
  grep -aF "data/$2" "$1/demo.log" | grep -av '^loading <' | head -1 | cut -c1-100
}

# Runs a command under strace, recording the file-system calls that can write.
# Usage: traced TRACEFILE command...
traced() {
  local trace=$1
  shift
  strace -f -qq -o "$trace" \
    -e trace=open,openat,creat,mkdir,mkdirat,unlink,unlinkat,rename,renameat,renameat2,truncate,link,linkat,symlink,symlinkat \
    "$@"
}

# Prints every path a traced run wrote: opened for writing or creating,
# created, removed, renamed, truncated or linked, by calls that succeeded.
written_paths() {
  python3 - "$1" <<'PY'
import re, sys
call = re.compile(r'^\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+)')
for line in open(sys.argv[1], errors="replace"):
    m = call.match(line)
    if not m or int(m.group(3)) < 0:
        continue
    name, args = m.group(1), m.group(2)
    paths = re.findall(r'"((?:[^"\\]|\\.)*)"', args)
    if not paths:
        continue
    if name in ("open", "openat"):
        if not re.search(r'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC', args):
            continue
        print(paths[0])
    else:
        for p in paths:
            print(p)
PY
}

# Written paths that are neither the log nor one of the allowed patterns
# (extended regular expressions, given after the trace file). The GL driver's
# own shader cache (Mesa keeps it under ~/.cache) is not the program's doing.
unexpected_writes() {
  local trace=$1
  shift
  local allowed='^(demo\.log|.*/demo\.log|/dev/null)$|/\.cache/mesa_shader_cache(/|$)'
  local p
  for p in "$@"; do allowed+="|$p"; done
  written_paths "$trace" | sort -u | grep -Ev "$allowed"
}
