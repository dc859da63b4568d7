#!/usr/bin/env bash
# Installs what is missing, builds Kestrel from nothing and runs the whole test
# suite: the Release build under Xvfb (with the Debian package built, unpacked
# and played, the render farm run on two job slots, and the browser build,
# whose tests run with it in headless Chromium), then a fixed sample of
# planted faults it must still catch, the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz corpora
# (replay + a short run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# -noreset: an X server resets when its last client leaves and refuses
# connections meanwhile, so a program started right after another one ended
# could fail to open the display.
XVFB=(xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset")
jobs=$(nproc)

echo "== Release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
bash scripts/web.sh
"${XVFB[@]}" ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Mutation guard"
# A fixed sample of planted faults, in place in the build whose suite just ran:
# fails when the suite catches fewer of them than it did (docs/testing.md).
bash scripts/mutants.sh --ci

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
# The content tools are built and run sanitized too: they generate the data
# again and their tests call them from this build directory. Optimised with
# line tables (-O1 -g1) so the generators and software GL stay quick and the
# build takes half the time that -O2 -g does; reports still name file and line.
# Mesa keeps driver allocations until exit; leaks are not what this run looks for.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_SANITIZE=ON \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-asan -j"$jobs"
# The package, the farm and the browser build are checked in the Release
# stage: they test the packaging, the scripts around the program and the page,
# not the program's memory.
"${XVFB[@]}" ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '^(program_(package|farm)|web_.*)$'
unset ASAN_OPTIONS UBSAN_OPTIONS

if [ -f scripts/fuzz.sh ]; then
  echo "== Fuzz targets"
  bash scripts/fuzz.sh ci
fi
echo "all test stages passed"
