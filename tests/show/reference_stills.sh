#!/usr/bin/env bash
# Reference stills: 36 frames of the show (four in each of the nine scenes) at
# 192x108, held against two committed sets, both checked on every run:
#  - tests/stills/reference/: the baseline, the pictures from before the post
#    chain was restructured for speed. Never rewritten by a routine update;
#    every run must stay within tolerance of it on any Mesa version (mean
#    absolute difference per channel at most 1/255, 99.9 % of the pixels
#    within 8/255), so small changes cannot add up across commits.
#  - tests/stills/exact/: the current pictures and the Mesa version they came
#    from (mesa.txt). On that version every pixel must be equal, so any change
#    of picture shows at once; on another version the tolerance applies.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
# KESTREL_UPDATE_REFERENCE=1 rewrites the exact set (only for a change of
# picture that was meant and looked at); it refuses while a still is outside
# the baseline's tolerance. KESTREL_UPDATE_BASELINE=1 rewrites the baseline:
# only for a deliberate change of the show's look.
set -u
source "$2/tests/support/program.bash" "$1" "$2"
compare="$BUILD/tests/still_compare"
reference="$SRC/tests/stills/reference"
enter_build_workdir reference_stills

# Scene starts in seconds (bars 0, 16, 24, 32, 44, 56, 64, 72, 88 at 130 bpm,
# four beats a bar) and the end of the show (bar 100).
bar=$(awk 'BEGIN { printf "%.6f", 4 * 60 / 130 }')
starts="0 16 24 32 44 56 64 72 88 100"
times=$(awk -v bar="$bar" -v starts="$starts" 'BEGIN {
  n = split(starts, s, " ")
  for (i = 1; i < n; i++)
    for (f = 0; f < 4; f++)
      printf "%.3f\n", (s[i] + (s[i + 1] - s[i]) * (0.1 + 0.25 * f)) * bar
}')
args=()
names=()
i=0
for t in $times; do
  name=$(printf "still_%02d_%s.png" "$i" "$t")
  args+=(--shot "$t:$WORK/$name")
  names+=("$name")
  i=$((i + 1))
done
"$PROGRAM" --mode 192x108 "${args[@]}" >"$WORK/out.txt" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then echo "stills exited $rc"; tail -20 "$WORK/out.txt"; exit 1; fi
mesa=$(grep -o 'Mesa [0-9][0-9.]*' demo.log | head -1)
exact="$SRC/tests/stills/exact"

# write DIR: copies the stills and the Mesa version into DIR.
write() {
  rm -rf "$1" && mkdir -p "$1"
  for n in "${names[@]}"; do cp "$WORK/$n" "$1/$n"; done
  echo "$mesa" >"$1/mesa.txt"
  echo "wrote ${#names[@]} stills to $1 ($mesa)"
}
if [ "${KESTREL_UPDATE_BASELINE:-0}" = 1 ]; then write "$reference"; write "$exact"; exit 0; fi

# compare DIR EXACT: every still against DIR (EXACT 1: byte for byte).
# Prints one line per still that fails; returns 1 when any does.
compare() {
  local dir=$1 flag=() fail=0 n result
  [ "$2" = 1 ] && flag=(--exact)
  for n in "${names[@]}"; do
    if [ ! -f "$dir/$n" ]; then echo "no picture $dir/$n"; fail=1; continue; fi
    if ! result=$("$compare" "${flag[@]}" "$dir/$n" "$WORK/$n"); then
      echo "$(basename "$dir")/$n: $result"
      fail=1
    fi
  done
  return $fail
}

fail=0
compare "$reference" 0 || fail=1
if [ "${KESTREL_UPDATE_REFERENCE:-0}" = 1 ]; then
  [ "$fail" = 0 ] || { echo "not written: stills outside the baseline's tolerance"; exit 1; }
  write "$exact"
  exit 0
fi
same_mesa=0
[ -n "$mesa" ] && [ "$mesa" = "$(cat "$exact/mesa.txt" 2>/dev/null)" ] && same_mesa=1
compare "$exact" "$same_mesa" || fail=1
[ "$same_mesa" = 1 ] || echo "note: exact set made with $(cat "$exact/mesa.txt" 2>/dev/null), running $mesa: compared within tolerance"
[ "$fail" = 0 ] && echo "${#names[@]} stills match (baseline within tolerance, exact set)"
exit $fail
