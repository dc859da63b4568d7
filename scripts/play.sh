#!/usr/bin/env bash
# Installs what is missing, builds Kestrel with its default show and plays it.
# Arguments are passed to the program (for example --mode 1280x720).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
cd build && exec ./kestrel "$@"
