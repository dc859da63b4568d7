#!/usr/bin/env bash
# The format check: every C++ file of the repository (engine, tools, tests,
# fuzz targets) must be as clang-format-14 writes it with the repository's
# .clang-format. Prints each file that is not and exits 1 when there is one,
# 0 otherwise, 2 when the formatter is missing. Build trees (./build*) and
# hidden folders are not the repository's sources and are skipped.
# Argument: the source directory (default: this script's repository).
# CLANG_FORMAT names another formatter binary.
set -u
root="${1:-$(dirname "$0")/..}"
cd "$root" || exit 2
format=${CLANG_FORMAT:-clang-format-14}
command -v "$format" >/dev/null || { echo "format check: $format missing (Debian package clang-format-14)" >&2; exit 2; }

checked=0
off=0
while IFS= read -r -d '' file; do
  checked=$((checked + 1))
  if ! "$format" --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "off the house format: ${file#./}"
    off=$((off + 1))
  fi
done < <(find . \( -path './build*' -o -path '*/.*' \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
echo "format check: $checked files, $off off the house format (clang-format -i FILE puts one right)"
[ "$off" -eq 0 ] && [ "$checked" -gt 0 ]
