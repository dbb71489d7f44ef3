#!/usr/bin/env bash
# Builds the launcher and runs it once under Wine + Xvfb from a temporary install folder with a
# "TolvaneOndrel.ini", printing what it read and what happened. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash cmake/deps.sh
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 --target TolvaneLauncher SettingsProbe DemoDriver SessionKeeper

install_dir=$(mktemp -d /tmp/tolvane-demo.XXXXXX)
bin=build/x86_64/bin
cp "$bin/TolvaneLauncher.exe" "$bin/SettingsProbe.exe" "$install_dir/"
printf '[Path]\r\nMail=C:\\windows\\notepad.exe\r\nOndrel=C:\\windows\\system32\\winver.exe\r\n' \
  > "$install_dir/TolvaneOndrel.ini"

cat > "$install_dir/run.sh" <<RUN
set -e
w=/usr/lib/wine/wine64
echo "Install folder: \$(\$w winepath -w "$install_dir" 2>/dev/null)"
echo "Settings the launcher reads:"
\$w "$install_dir/SettingsProbe.exe" | sed 's/^/  /'
echo "Run:"
\$w "$PWD/$bin/DemoDriver.exe" "\$(\$w winepath -w "$install_dir/TolvaneLauncher.exe" 2>/dev/null)" 3 | sed 's/^/  /'
RUN

xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh build/x86_64 bash "$install_dir/run.sh"
rm -rf "$install_dir"
