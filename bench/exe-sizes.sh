#!/usr/bin/env bash
# Prints the stripped sizes of the 32-bit programs: the launcher (against its size target),
# Cunfigure.exe, and the two size references (a bare window program, and the same with std::string
# and std::vector). One figure per line:
#   FIGURE|<name>|<value>|<unit>|<comparison or ->|<target or ->
# Builds what is missing first (cmake --preset i686).
set -euo pipefail
cd "$(dirname "$0")/.."

target_bytes=$((200 * 1024))
programs=(TolvaneLauncher Cunfigure BareWindow BareWindowStrings)

cmake --preset i686 >/dev/null
cmake --build build/i686 --target "${programs[@]}" >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
declare -A bytes
for program in "${programs[@]}"; do
  i686-w64-mingw32-strip -o "$scratch/$program.exe" "build/i686/bin/$program.exe"
  bytes[$program]=$(stat -c %s "$scratch/$program.exe")
done

kb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1024 }'; }

# name, program, comparison, target (bytes)
figure() {
  local name=$1 program=$2 comparison=$3 target=$4
  local target_kb=-
  local target_bytes_text=-
  [ "$target" = - ] || { target_kb="<= $(kb "$target")"; target_bytes_text="<= $target"; }
  echo "FIGURE|$name|${bytes[$program]}|bytes|$comparison|$target_bytes_text"
  echo "FIGURE|$name|$(kb "${bytes[$program]}")|KB|$comparison|$target_kb"
}

strings_kb=$(kb "${bytes[BareWindowStrings]}")
figure "TolvaneLauncher.exe, i686 stripped" TolvaneLauncher "bare window + std::string/vector: $strings_kb KB" \
  "$target_bytes"
figure "Cunfigure.exe, i686 stripped" Cunfigure - -
figure "Bare Win32 window program, i686 stripped" BareWindow - -
figure "Bare window + std::string/std::vector, i686 stripped" BareWindowStrings \
  "bare window: $(kb "${bytes[BareWindow]}") KB" -
