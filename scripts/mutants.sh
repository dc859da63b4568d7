#!/usr/bin/env bash
# Mutation testing of the tree's own code (scripts/mutants.py does the work):
# plants a seeded sample of realistic one-line faults, one at a time, in a
# scratch copy (default build-mutants/src, built in build-mutants/src/build)
# and reports which ones the tests catch. One X server serves the whole run.
#   bash scripts/mutants.sh [--build DIR] [--files GLOB ...] [--count N] [--seed S] [--resume REPORT] [--ci]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$(git -C "$here" rev-parse --show-toplevel)")}"

case " $* " in
  *" --list "* | *" -h "* | *" --help "*) exec python3 "$here/mutants.py" "$@" ;;
esac

# -noreset: the server must not reset (and refuse connections) when the last
# test program of one mutant leaves just as the next one starts.
command -v Xvfb >/dev/null || { echo "mutants: Xvfb is missing (scripts/deps.sh installs it)" >&2; exit 1; }
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r -t 30 display <"$fifo" || { echo "mutants: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"
python3 "$here/mutants.py" "$@"
