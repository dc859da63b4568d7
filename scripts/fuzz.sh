#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, ASan + UBSan) into build-fuzz and runs
# them. Every fuzz/fuzz_<name>.cpp with its seed corpus fuzz/corpus/<name>/ takes
# part by existing; nothing here names a target.
#   bash scripts/fuzz.sh ci              replay every corpus, then fuzz each target
#                                        FUZZ_SECONDS (default 20) seconds
#   bash scripts/fuzz.sh run NAME [SEC]  fuzz one target longer (default 600 s)
# Exits non-zero when a target crashes, leaks, hits undefined behaviour or times
# out; the input that did it is left in build-fuzz/findings/<name>/.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-ci}
seconds=${FUZZ_SECONDS:-20}
build=build-fuzz

targets=()
for src in fuzz/fuzz_*.cpp; do
  [ -e "$src" ] || continue
  name=$(basename "$src" .cpp)
  targets+=("${name#fuzz_}")
done
if [ "$mode" = run ]; then
  [ $# -ge 2 ] || { echo "usage: $0 run NAME [SECONDS]" >&2; exit 2; }
  targets=("$2")
  seconds=${3:-600}
elif [ "$mode" != ci ]; then
  echo "usage: $0 ci | run NAME [SECONDS]" >&2
  exit 2
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets"; exit 0; }

echo "== building fuzz targets: ${targets[*]}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DKESTREL_FUZZ=ON -DKESTREL_TOOLS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The targets may write demo.log; keep it out of the source tree.
mkdir -p "$build/fuzz-run"
root=$PWD

# fuzz_one NAME: replays the target's seeds, then fuzzes it; prints its result
# lines and returns 1 on a finding.
fuzz_one() {
  local name=$1
  local bin=$root/$build/fuzz/fuzz_$name
  local seeds=$root/fuzz/corpus/$name
  local work=$root/$build/corpus/$name
  local findings=$root/$build/findings/$name
  local logfile=$root/$build/fuzz-$name.log
  mkdir -p "$seeds" "$work" "$findings"
  # 1. Replay: every seed once, as CI does on every run.
  local seedFiles=("$seeds"/*)
  if [ -e "${seedFiles[0]}" ]; then
    if ! (cd "$build/fuzz-run" && "$bin" -close_fd_mask=3 "${seedFiles[@]}") >"$logfile" 2>&1; then
      echo "fuzz_$name: a seed input fails"; tail -40 "$logfile"; return 1
    fi
    echo "fuzz_$name: replayed ${#seedFiles[@]} seed inputs"
  fi
  # 2. Fuzz for a fixed time from the seeds and what earlier runs kept.
  if ! (cd "$build/fuzz-run" && "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 \
        -max_len=65536 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "$seeds") >"$logfile" 2>&1; then
    echo "fuzz_$name: FINDING"; grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$logfile" | head -20
    return 1
  fi
  local runs
  runs=$(grep -ao 'stat::number_of_executed_units: *[0-9]*' "$logfile" | grep -o '[0-9]*$' || echo "?")
  echo "fuzz_$name: $runs executions in ${seconds} s, no finding"
}

# The targets run side by side, one per core (each is one process on one
# thread); their results are printed in order once all have ended.
slots=$(nproc)
rm -f "$build"/fuzz-*.result "$build"/fuzz-*.status
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$slots" ]; do wait -n || true; done
  (fuzz_one "$name" >"$build/fuzz-$name.result" 2>&1; echo $? >"$build/fuzz-$name.status") &
done
wait
status=0
for name in "${targets[@]}"; do
  cat "$build/fuzz-$name.result"
  [ "$(cat "$build/fuzz-$name.status" 2>/dev/null)" = 0 ] || status=1
done
exit $status
