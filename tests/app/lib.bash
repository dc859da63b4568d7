# Shared by the tests of tests/app/: the program, a short scratch folder (the
# data buffers hold the data directory and a file name together), failures
# collected in $fail, and the show's length as the program reports it.
# Usage: source with the build directory in $1 and the source directory in $2.
set -u
build=$(cd "$1" && pwd -P)
src=$(cd "$2" && pwd -P)
program="$build/kestrel"
work=$(mktemp -d /tmp/kapXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
complain() { echo "FAIL: $*"; fail=1; }
export SDL_AUDIODRIVER=dummy
# A program that finds no data anywhere: a copy outside the build tree.
mkdir -p "$work/bare" && cp "$program" "$work/bare/kestrel"
show_length=$("$program" --info --data "$build/data" | sed -n 's/^show length: \([0-9.]*\) s$/\1/p')
[ -n "$show_length" ] || { echo "FAIL: --info gave no show length"; exit 1; }
