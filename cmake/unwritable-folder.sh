#!/usr/bin/env bash
# Runs a test command with a folder this user cannot write into, holding a copy of one program:
#   bash cmake/unwritable-folder.sh <program> <command> [arguments...]
# The folder's Windows path (Wine's drive Z:) is in UNWRITABLE_FOLDER. Root writes anywhere, so for
# root the folder is made immutable instead of read-only. Exit code 77 (skipped) when neither works.
set -u
folder=$(mktemp -d /tmp/unwritable.XXXXXX)
cp "$1" "$folder/"
shift
unlock() {
  chattr -i "$folder" 2>/dev/null
  chmod 755 "$folder"
  rm -rf "$folder"
}
trap unlock EXIT
if [ "$(id -u)" = 0 ]; then
  chattr +i "$folder" 2>/dev/null
else
  chmod 555 "$folder"
fi
if touch "$folder/probe" 2>/dev/null; then
  rm -f "$folder/probe"
  echo "unwritable-folder: cannot make $folder unwritable here: skipped"
  exit 77
fi
# Output goes through a file (no pipe a Wine process could hold open), and a run that found no test
# to run fails.
log=$(mktemp)
UNWRITABLE_FOLDER="Z:${folder//\//\\}" "$@" >"$log" 2>&1
status=$?
cat "$log"
if [ "$status" = 0 ] && ! grep -q '^\[  PASSED  \] [1-9]' "$log"; then
  echo "unwritable-folder: no test ran"
  status=1
fi
rm -f "$log"
exit "$status"
