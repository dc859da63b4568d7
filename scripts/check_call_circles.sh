#!/usr/bin/env bash
# The call-circle check: among the object files of one library (the program's
# files), file A uses file B when A's object needs a symbol B's object
# defines. Two files that reach each other, directly or through others, form
# a circle. Prints each such pair and exits 1 when there is one, 0 otherwise.
# Argument: the library (e.g. build/libkestrel_app.a): its members are the
# objects of the files it is built from now (an object directory may still
# hold objects of files since removed).
set -u
[ -f "${1:-}" ] || { echo "usage: check_call_circles.sh LIBRARY.a"; exit 2; }
library=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
(cd "$dir" && ar x "$library") || exit 2
shopt -s nullglob
objects=("$dir"/*.o)
[ ${#objects[@]} -gt 0 ] || { echo "no objects in $library"; exit 2; }

for object in "${objects[@]}"; do
  name=$(basename "$object" .o)
  name=${name%.cpp}
  nm -g --defined-only "$object" | awk -v f="$name" 'NF >= 3 && $2 ~ /[TDBRVW]/ { print "def", $3, f }'
  nm -u "$object" | awk -v f="$name" 'NF >= 1 { print "use", $NF, f }'
done | awk '
  $1 == "def" && !($2 in owner) { owner[$2] = $3; files[$3] = 1; next }
  $1 == "use" { uses[++n] = $2; user[n] = $3; files[$3] = 1 }
  END {
    count = 0
    for (f in files) name[++count] = f
    for (i = 1; i <= n; i++) {
      to = owner[uses[i]]
      if (to != "" && to != user[i]) reach[user[i], to] = 1
    }
    for (k = 1; k <= count; k++)   # transitive closure
      for (i = 1; i <= count; i++)
        if ((name[i], name[k]) in reach)
          for (j = 1; j <= count; j++)
            if ((name[k], name[j]) in reach) reach[name[i], name[j]] = 1
    pairs = 0
    for (i = 1; i <= count; i++)
      for (j = i + 1; j <= count; j++)
        if ((name[i], name[j]) in reach && (name[j], name[i]) in reach) {
          a = name[i] < name[j] ? name[i] : name[j]; b = name[i] < name[j] ? name[j] : name[i]
          print "call circle: " a " <-> " b
          pairs++
        }
    print "call-circle check: " count " files, " pairs " pairs in a circle"
    exit pairs > 0
  }'
