#!/usr/bin/env bash
# docs/command-line.md against the program's own --help: every option --help
# names has a row in the document's option table, and every option that table
# names is one --help knows. Arguments: build directory, source directory.
set -u
source "$2/tests/support/program.bash" "$1" "$2"

doc="$SRC/docs/command-line.md"
[ -s "$doc" ] || { echo "FAIL: $doc is missing or empty"; exit 1; }
help=$("$PROGRAM" --help)
rc=$?
[ "$rc" -eq 0 ] || complain "--help exited $rc"

# Every --word in the text, once each.
options() { grep -o -- '--[a-z][a-z0-9-]*' | sort -u; }
help_options=$(printf '%s\n' "$help" | options)
# The option table: the rows under "## Options" up to the next heading.
table_options=$(awk '/^## /{ inside = ($0 == "## Options") } inside && /^\|/' "$doc" | options)
# The program has more than twenty options: fewer means the text was not read.
[ "$(printf '%s\n' "$help_options" | grep -c .)" -gt 20 ] || complain "--help names too few options: $help_options"
[ "$(printf '%s\n' "$table_options" | grep -c .)" -gt 20 ] || complain "the option table names too few options"

for o in $help_options; do
  grep -qx -- "$o" <<<"$table_options" || complain "$o is in --help but not in the option table of docs/command-line.md"
done
for o in $table_options; do
  grep -qx -- "$o" <<<"$help_options" || complain "docs/command-line.md's option table names $o, which --help does not"
done
exit $fail
