#!/usr/bin/env bash
# Builds the 32-bit product and packs the release zip for Windows users: the stripped
# TolvaneLauncher.exe and Cunfigure.exe and the read-me (packaging/README.txt, written out as
# UTF-8 with a byte order mark and CRLF line ends). Checks the zip and fails loudly when anything is
# missing or wrong; prints its path and sizes.
#   bash cmake/package.sh                      build, then write build/release/TolvaneLauncher.zip
#   bash cmake/package.sh --no-build [folder]  pack the programs already in build/i686/bin (the test)
# TOLVANE_PACKAGE_BIN names another folder of built programs (their link maps beside them), for the
# test that the checks refuse a wrong program.
set -euo pipefail
cd "$(dirname "$0")/.."
# The checks read the binutils' messages, which follow the locale (the test runs under ja_JP).
export LC_ALL=C

build=yes
if [ "${1:-}" = --no-build ]; then
  build=no
  shift
fi
out_dir=$(realpath -m "${1:-build/release}")
zip_path="$out_dir/TolvaneLauncher.zip"

bin=${TOLVANE_PACKAGE_BIN:-build/i686/bin}
readme_source=packaging/README.txt
programs=(TolvaneLauncher.exe Cunfigure.exe)
expected_files=(Cunfigure.exe README.txt TolvaneLauncher.exe)  # sorted, as the check lists them
# The launcher's size (bench/SIZE.md): it aims at the target; only a launcher above the ceiling fails
# the package.
target_kb=200
ceiling_kb=220
# What a self-contained program may import: system DLLs only, no compiler runtime beside it. The
# common controls and dialogs are Cunfigure's: the launcher has none, and loads neither library.
system_dlls='kernel32|user32|gdi32|shell32|advapi32|ole32|oleaut32|msvcrt'
declare -A allowed_dlls=(
  [TolvaneLauncher.exe]="^($system_dlls)\.dll$"
  [Cunfigure.exe]="^($system_dlls|comctl32|comdlg32)\.dll$"
)

fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}

if [ "$build" = yes ]; then
  bash cmake/deps.sh
  cmake --preset i686 >/dev/null
  cmake --build build/i686 --target TolvaneLauncher Cunfigure
fi
if [ "$build" = no ] && [ ! -d "$bin" ]; then
  echo "package: skipped: no 32-bit build in $bin (cmake --preset i686 && cmake --build --preset i686)"
  exit 77
fi
for program in "${programs[@]}"; do
  [ -f "$bin/$program" ] || fail "$bin/$program is missing (build the i686 preset first)"
done
[ -f "$readme_source" ] || fail "$readme_source is missing"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for program in "${programs[@]}"; do
  i686-w64-mingw32-strip -o "$stage/$program" "$bin/$program"
done
{ printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' "$readme_source"; } > "$stage/README.txt"

mkdir -p "$out_dir"
rm -f "$zip_path"
(cd "$stage" && zip -X -q "$zip_path" "${expected_files[@]}")

# ---- checks, on what the zip holds ----
listed=$(unzip -Z1 "$zip_path" | sort | tr '\n' ' ')
[ "$listed" = "${expected_files[*]} " ] || fail "the zip holds [$listed], expected [${expected_files[*]}]"

check=$(mktemp -d)
trap 'rm -rf "$stage" "$check"' EXIT
unzip -q "$zip_path" -d "$check"
for program in "${programs[@]}"; do
  file="$check/$program"
  header=$(i686-w64-mingw32-objdump -f "$file" 2>/dev/null) || fail "$program is not a Windows program"
  grep -q 'file format pei-i386' <<<"$header" || fail "$program is not a 32-bit Windows program"
  [ -z "$(i686-w64-mingw32-nm "$file" 2>/dev/null)" ] || fail "$program is not stripped"
  while read -r dll; do
    [[ "${dll,,}" =~ ${allowed_dlls[$program]} ]] || fail "$program imports $dll, which is not among the system DLLs it may use"
  done < <(i686-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
  # The runtime's thread calls and make_shared's type check are answered by the programs' own
  # code: the link map beside the built program shows whether the linker took the runtime's.
  map="$bin/$program.map"
  [ -f "$map" ] || fail "$map is missing (the programs are linked with a map)"
  ! grep -q 'libpthread\.a(' "$map" || fail "$program links objects of the threads library"
  ! grep -q 'libstdc++\.a(shared_ptr\.o)' "$map" || fail "$program links the runtime's shared_ptr object"
done
# The runtime's verbose terminate handler (and its demangler) must stay out of the launcher.
! grep -q 'terminate called after throwing' "$check/TolvaneLauncher.exe" ||
  fail "TolvaneLauncher.exe holds the runtime's verbose terminate handler"
[ "$(head -c 3 "$check/README.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README.txt has no UTF-8 byte order mark"
[ "$(grep -c $'[^\r]$' "$check/README.txt" || true)" = 0 ] || fail "README.txt has lines without CRLF ends"
iconv -f UTF-8 -t UTF-8 "$check/README.txt" >/dev/null || fail "README.txt is not valid UTF-8"

launcher_bytes=$(stat -c %s "$check/TolvaneLauncher.exe")
launcher_kb=$(awk -v b="$launcher_bytes" 'BEGIN { printf "%.1f", b / 1024 }')
[ "$launcher_bytes" -le $((ceiling_kb * 1024)) ] ||
  fail "TolvaneLauncher.exe is $launcher_kb KB, $((launcher_bytes - ceiling_kb * 1024)) bytes above its $ceiling_kb KB ceiling"

zip_bytes=$(stat -c %s "$zip_path")
echo "Package: $zip_path ($zip_bytes bytes, $(awk -v b="$zip_bytes" 'BEGIN { printf "%.1f", b / 1024 }') KB)"
echo "  TolvaneLauncher.exe $launcher_bytes bytes ($launcher_kb KB; target $target_kb KB, ceiling $ceiling_kb KB)"
echo "  Cunfigure.exe $(stat -c %s "$check/Cunfigure.exe") bytes, README.txt $(stat -c %s "$check/README.txt") bytes"
