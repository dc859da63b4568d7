#!/usr/bin/env bash
# Builds the Debian package: a Release build in build/, then cpack writes
# build/kestrel_<version>_amd64.deb and lintian checks it (errors fail).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
(cd build && cpack -G DEB)
deb=$(ls build/kestrel_*_amd64.deb)
# lintian warns that it runs as root (as it does on CI); that is not a finding.
lintian --fail-on error "$deb"
echo "$deb"
