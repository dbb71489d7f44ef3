#!/usr/bin/env bash
# Builds the launcher and runs it once under Wine + Xvfb, installed in a temporary folder with the
# demo mail client and proxy and a "TolvaneOndrel.ini"; prints a timeline of what happened and saves
# a screenshot taken while the mail client runs, then one of the notice for a proxy that cannot be
# found, then screenshots of Cunfigure.exe at 96 and 144 DPI,
# then a first run (no settings, Cunfigure.exe, the save, the launcher it starts) with its timeline.
# Then builds the 32-bit product and packs the release zip (cmake/package.sh), printing its path and
# size. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash cmake/deps.sh
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 --target TolvaneLauncher Cunfigure DemoMailClient DemoProxy DemoDriver FirstRunDriver SettingsProbe SessionKeeper

bin="$PWD/build/x86_64/bin"
install_dir=$(mktemp -d /tmp/tolvane-demo.XXXXXX)
shot_dir="$PWD/build/demo"
mkdir -p "$shot_dir"
cp "$bin/TolvaneLauncher.exe" "$bin/Cunfigure.exe" "$bin/DemoMailClient.exe" "$bin/DemoProxy.exe" "$bin/SettingsProbe.exe" "$install_dir/"

cat > "$install_dir/run.sh" <<RUN
set -e
w=/usr/lib/wine/wine64
folder=\$(\$w winepath -w "$install_dir" 2>/dev/null)
# The command does not end in a quote: the platform's read drops a pair enclosing a whole value.
printf '[Path]\r\nMail="%s\\\\DemoMailClient.exe" --log "%s\\\\mail.log" --exit 0\r\nOndrel=%s\\\\DemoProxy.exe\r\n' \
  "\$folder" "\$folder" "\$folder" > "$install_dir/TolvaneOndrel.ini"
echo "Install folder: \$folder"
echo "TolvaneOndrel.ini:"
sed 's/^/  /; s/\r\$//' "$install_dir/TolvaneOndrel.ini"
echo "What the launcher reads from it:"
\$w "$install_dir/SettingsProbe.exe" | grep -v '^Path=' | sed 's/^/  /'
# A picture of the whole screen. The X server now and then refuses one while Wine changes a window
# (BadMatch), so a refused picture is taken again.
shoot() {
  rm -f "\$1"
  for try in 1 2 3; do
    xwd -root -silent -display "\$DISPLAY" > "\$1.xwd" 2>/dev/null && convert xwd:"\$1.xwd" png:"\$1" && break
    sleep 0.2
  done
  rm -f "\$1.xwd"
  [ -f "\$1" ]
}
echo "Timeline (the demo closes the mail client's window after 5 s, as its user would):"
\$w "$bin/DemoDriver.exe" "\$folder" 5 "\$folder" > "$install_dir/timeline.txt" &
driver=\$!
sleep 3.5
shoot "$shot_dir/screenshot.png"
# The driver opens the tray menu before it closes the client and waits for this picture.
for i in \$(seq 400); do [ -f "$install_dir/menu-open" ] && break; sleep 0.025; done
if [ -f "$install_dir/menu-open" ]; then
  shoot "$shot_dir/tray-menu.png"
fi
touch "$install_dir/menu-shot-done"
wait \$driver
sed 's/^/  /' "$install_dir/timeline.txt"
echo "Screenshot while the mail client ran (tray icon at the bottom right): $shot_dir/screenshot.png"
echo "Screenshot of the tray icon's menu: $shot_dir/tray-menu.png"

# A proxy that was moved away: the launcher tells of it in a notice from its tray icon (a toast on
# Windows 10 and 11), and runs the mail client all the same.
notice=\$(mktemp -d /tmp/tolvane-notice.XXXXXX)
cp "$install_dir/TolvaneLauncher.exe" "$install_dir/DemoMailClient.exe" "\$notice/"
notice_folder=\$(\$w winepath -w "\$notice" 2>/dev/null)
printf '[Path]\r\nMail="%s\\\\DemoMailClient.exe" --close-after 6000\r\nOndrel=%s\\\\Proxy\\\\Ondrel.exe\r\n' \
  "\$notice_folder" "\$notice_folder" > "\$notice/TolvaneOndrel.ini"
\$w "\$notice/TolvaneLauncher.exe" &
sleep 4
shoot "$install_dir/notice-screen.png"
# The notice sits above the icon, at the bottom right of the desktop.
convert "$install_dir/notice-screen.png" -crop 420x150+604+618 +repage "$shot_dir/notice.png"
wait
rm -rf "\$notice"
echo "Screenshot of the notice for a proxy that cannot be found: $shot_dir/notice.png"

# Cunfigure.exe at two display scales: the screen with and without its window tells where it is.
for dpi in 96 144; do
  \$w reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d \$dpi /f >/dev/null 2>&1
  shoot "$install_dir/without.png"
  \$w "$install_dir/Cunfigure.exe" &
  sleep 5
  shoot "$install_dir/with.png"
  box=\$(convert "$install_dir/without.png" "$install_dir/with.png" -compose difference -composite -trim -format '%wx%h%O' info:)
  convert "$install_dir/with.png" -crop "\$box" +repage "$shot_dir/cunfigure-\$dpi.png"
  \$w taskkill /im Cunfigure.exe >/dev/null 2>&1 || true
  wait
  echo "Screenshot of Cunfigure.exe at \$dpi DPI (\${box%%+*} pixels, centred): $shot_dir/cunfigure-\$dpi.png"
done
\$w reg delete 'HKCU\\Control Panel\\Desktop' /v LogPixels /f >/dev/null 2>&1 || true

# A first run: no settings, Cunfigure.exe, the save, and the launcher it starts.
first=\$(mktemp -d /tmp/tolvane-first.XXXXXX)
cp "$install_dir/TolvaneLauncher.exe" "$install_dir/Cunfigure.exe" "$install_dir/DemoMailClient.exe" "$install_dir/DemoProxy.exe" "\$first/"
echo "First run (no settings file; the demo types in the stand-ins and presses OK):"
shoot "$install_dir/without.png"
\$w "$bin/FirstRunDriver.exe" "\$(\$w winepath -w "\$first" 2>/dev/null)" "\$(\$w winepath -w "$install_dir" 2>/dev/null)" > "$install_dir/first-run.txt" &
first_driver=\$!
for i in \$(seq 800); do [ -f "$install_dir/first-run-open" ] && break; sleep 0.025; done
shoot "$install_dir/with.png"
# Above the taskbar only: the first launcher's taskbar button comes and goes meanwhile.
box=\$(convert "$install_dir/without.png" "$install_dir/with.png" -compose difference -composite -crop 1024x730+0+0 +repage -trim -format '%wx%h%O' info:)
convert "$install_dir/with.png" -crop "\$box" +repage "$shot_dir/first-run-cunfigure.png"
touch "$install_dir/first-run-shot-done"
wait \$first_driver || true
cat "$install_dir/first-run.txt"
rm -rf "\$first"
echo "Screenshot of Cunfigure.exe at the first run, with its two check boxes: $shot_dir/first-run-cunfigure.png"
RUN

xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh build/x86_64 bash "$install_dir/run.sh"
rm -rf "$install_dir"

echo "Release package (the 32-bit product):"
bash cmake/package.sh
