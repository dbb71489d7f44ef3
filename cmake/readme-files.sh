#!/usr/bin/env bash
# Checks that every file and folder the read-mes name exists in the tree: the link targets, and the
# words in backticks that hold a path (a "/"), apart from what a build makes (build/...).
#   bash cmake/readme-files.sh [read-me ...]     (default: README.md docs/DEVELOPING.md bench/README.md)
set -uo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- README.md docs/DEVELOPING.md bench/README.md
missing=0
for readme in "$@"; do
  base=$(dirname "$readme")
  while read -r name; do
    name=${name%/}
    case "$name" in "" | build/* | /* | http* | *\\* | *"<"* | *'$'*) continue ;; esac
    # A link is relative to its read-me; a name in backticks to the repository's folder.
    if [ ! -e "$name" ] && [ ! -e "$base/$name" ]; then
      echo "$readme names $name, which is not there"
      missing=1
    fi
  done < <(grep -o '](\([^)#]*\))' "$readme" | sed 's/^](\(.*\))$/\1/'
           grep -o '`[^`]*/[^`]*`' "$readme" | tr -d '`' | tr ' ' '\n' | grep /)
done
[ $missing = 0 ] && echo "Every file the read-mes name is there."
exit $missing
