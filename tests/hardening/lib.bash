# Helpers for the hardening tests and scripts/hostile_data.sh: a private data
# directory per case (links to the build's data, the file under test a real,
# damaged copy), running the program with --gl-debug, and the checks every run
# must pass (exit code 0, no sanitizer report, the GL error count).
# Usage: source this file with BUILD (build directory) set.

# The show's timing, read from the built scene track (130 bpm, 4 rows a
# beat): SCENE_START[k-1] where scene k begins, SCENE_TIMES[k-1] the middle of
# scene k (its stills are taken there), SHOW_END where the track steps from 9
# to 1. Prints nothing and leaves the arrays empty when the track is unusable.
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
mapfile -t timing < <(show_timing)
if [ ${#timing[@]} -eq 3 ]; then
  read -r -a SCENE_START <<<"${timing[0]}"
  read -r -a SCENE_TIMES <<<"${timing[1]}"
  SHOW_END=${timing[2]}
else
  echo "cannot read the show's timing from $BUILD/data/sync_scene.track" >&2
  SCENE_START=() SCENE_TIMES=() SHOW_END=0
fi
# A time SECONDS before the end of the show.
before_end() { python3 -c "print('%.3f' % max(0.0, $SHOW_END - $1))"; }

# Sanitizer builds report through stderr; a build's cache says which it is.
is_sanitizer_build() {
  grep -q '^KESTREL_SANITIZE:BOOL=ON' "$BUILD/CMakeCache.txt" 2>/dev/null
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# No sound device under test: SDL's dummy driver keeps the music clock running.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

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

# A directory whose data/ links every file of the build's data; the case
# replaces one link with a real file. Sets WORK and cds there.
make_case_dir() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-$1.XXXXXX")
  mkdir "$WORK/data"
  local f
  for f in "$BUILD"/data/*; do ln -s "$f" "$WORK/data/$(basename "$f")"; done
  cd "$WORK" || exit 1
}

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
