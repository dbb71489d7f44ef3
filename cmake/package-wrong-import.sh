#!/usr/bin/env bash
# The release package's import check, tried on a launcher that imports the common controls library,
# which only Cunfigure may: a copy of the 32-bit Cunfigure.exe (which imports it) stands in for the
# launcher, and the package script must refuse it for that import. Exit code 77 (skipped) without a
# 32-bit build.
#   bash cmake/package-wrong-import.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/i686/bin
if [ ! -f "$bin/Cunfigure.exe" ] || [ ! -f "$bin/Cunfigure.exe.map" ]; then
  echo "skipped: no 32-bit build in $bin"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for program in TolvaneLauncher.exe Cunfigure.exe; do
  cp "$bin/Cunfigure.exe" "$work/$program"
  cp "$bin/Cunfigure.exe.map" "$work/$program.map"
done
if output=$(TOLVANE_PACKAGE_BIN=$work bash cmake/package.sh --no-build "$work/package" 2>&1); then
  printf 'FAILED: the package took a launcher that imports the common controls:\n%s\n' "$output"
  exit 1
fi
if ! grep -qi 'FAILED: TolvaneLauncher.exe imports comctl32.dll' <<<"$output"; then
  printf 'FAILED: the package refused the launcher, but not for its import of the common controls:\n%s\n' "$output"
  exit 1
fi
echo "refused as it should be: $output"
