#!/usr/bin/env bash
# Every hand-written shader of the show passes the reference compiler as GLSL
# ES 1.00, the way the engine compiles it ("#version 100" put in front of a
# source without a version line). Arguments: build dir, source dir.
set -u
src="${2:-.}/data"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0; count=0
for f in "$src"/*.vs "$src"/*.fs; do
  [ -f "$f" ] || continue
  name=$(basename "$f")
  case "$f" in *.vs) stage=vert ;; *) stage=frag ;; esac
  out="$tmp/${name%.*}_${stage}.$stage"
  if grep -q '^[[:space:]]*#version' "$f"; then cp "$f" "$out"; else { echo '#version 100'; cat "$f"; } > "$out"; fi
  count=$((count + 1))
  if ! msg=$(glslangValidator "$out" 2>&1); then
    echo "FAIL $name"; echo "$msg"; fail=$((fail + 1))
  fi
done
[ "$count" -ge 20 ] || { echo "only $count shader files found in $src"; exit 1; }
echo "$((count - fail)) passed, $fail failed"
[ "$fail" -eq 0 ]
