#!/usr/bin/env bash
# The layer check: every #include "folder/..." in the engine's folders must name
# its own folder or one below it. The floors, top to bottom:
#   app -> show -> post -> render -> assets -> platform,  show -> sync -> platform.
# Prints each upward include and exits 1 when there is one, 0 otherwise.
# Argument: the source directory (default: this script's repository).
set -u
root="${1:-$(dirname "$0")/..}"
cd "$root" || exit 2

allowed() {   # allowed FROM TO
  case "$1" in
    platform) [[ "$2" == platform ]] ;;
    sync) [[ "$2" =~ ^(sync|platform)$ ]] ;;
    assets) [[ "$2" =~ ^(assets|platform)$ ]] ;;
    render) [[ "$2" =~ ^(render|assets|platform)$ ]] ;;
    post) [[ "$2" =~ ^(post|render|assets|platform)$ ]] ;;
    show) [[ "$2" =~ ^(show|post|render|assets|sync|platform)$ ]] ;;
    app) [[ "$2" =~ ^(app|show|post|render|assets|sync|platform)$ ]] ;;
    *) return 1 ;;
  esac
}

upward=0
checked=0
for folder in platform sync assets render post show app; do
  for file in "$folder"/*.cpp "$folder"/*.h "$folder"/web/*.cpp "$folder"/web/*.h; do
    [ -f "$file" ] || continue
    checked=$((checked + 1))
    while IFS=: read -r line target; do
      to="${target%%/*}"
      if ! allowed "$folder" "$to"; then
        echo "upward include: $file:$line includes \"$target\""
        upward=$((upward + 1))
      fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]*/' "$file" |
             sed -E 's/^([0-9]+):.*"([^"]+)".*/\1:\2/')
  done
done
echo "layer check: $checked files, $upward upward includes"
[ "$upward" -eq 0 ]
