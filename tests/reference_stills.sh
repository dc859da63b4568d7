#!/usr/bin/env bash
# Reference stills: 36 frames of the show (four in each of the nine scenes) at
# 192x108 must match the committed pictures in tests/stills/reference/. On the
# Mesa version the pictures were made with (stills/reference/mesa.txt) every
# pixel must be equal; on another version the pair may differ by a mean of at
# most 1/255 per channel with 99.9 % of the pixels within 8/255.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
# KESTREL_UPDATE_REFERENCE=1 writes the pictures and mesa.txt instead: do that
# only for a change of picture that was meant and looked at.
set -u
build="$1"
source="$2"
program="$build/kestrel"
compare="$build/tests/still_compare"
reference="$source/tests/stills/reference"
work="$build/tests/tmp_reference_stills"
rm -rf "$work" && mkdir -p "$work"
cd "$work" || exit 1
ln -s "$build/data" data

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
  args+=(--shot "$t:$work/$name")
  names+=("$name")
  i=$((i + 1))
done
"$program" --mode 192x108 "${args[@]}" >"$work/out.txt" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then echo "stills exited $rc"; tail -20 "$work/out.txt"; exit 1; fi
mesa=$(grep -o 'Mesa [0-9][0-9.]*' demo.log | head -1)

if [ "${KESTREL_UPDATE_REFERENCE:-0}" = 1 ]; then
  rm -rf "$reference" && mkdir -p "$reference"
  for n in "${names[@]}"; do cp "$work/$n" "$reference/$n"; done
  echo "$mesa" >"$reference/mesa.txt"
  echo "wrote ${#names[@]} reference stills ($mesa)"
  exit 0
fi

same_mesa=0
[ -n "$mesa" ] && [ "$mesa" = "$(cat "$reference/mesa.txt" 2>/dev/null)" ] && same_mesa=1
fail=0
for n in "${names[@]}"; do
  if [ ! -f "$reference/$n" ]; then echo "no reference picture $n"; fail=1; continue; fi
  if [ "$same_mesa" = 1 ]; then
    result=$("$compare" --exact "$reference/$n" "$work/$n")
  else
    result=$("$compare" "$reference/$n" "$work/$n")
  fi
  rc=$?
  if [ "$rc" -ne 0 ]; then echo "$n: $result"; fail=1; fi
done
[ "$same_mesa" = 1 ] || echo "note: made with $(cat "$reference/mesa.txt" 2>/dev/null), running $mesa: compared within tolerance"
[ "$fail" = 0 ] && echo "${#names[@]} stills match"
exit $fail
