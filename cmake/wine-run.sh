#!/usr/bin/env bash
# Runs a command inside a Wine session for one build folder:
#   bash cmake/wine-run.sh <build folder> <command> [arguments...]
# The session has a private prefix under the build folder (made once, with a virtual desktop so the
# notification area answers quickly), one persistent wineserver for the whole command, code page
# 932, and a long-lived hidden GUI program so Wine's shell stays up between test processes.
# Run it under a display (xvfb-run). Wine's own processes get no inherited output pipes, or a
# caller that reads our output (CTest, a pipe) would wait for them forever.
set -euo pipefail

build_dir=$(cd "$1" && pwd)
shift

export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8

wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64

if [ ! -f "$WINEPREFIX/.made" ]; then
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
  "$server" -w
  touch "$WINEPREFIX/.made"
fi

"$server" -p </dev/null >/dev/null 2>&1
stop_session() {
  "$server" -k </dev/null >/dev/null 2>&1 || true
  "$server" -w </dev/null >/dev/null 2>&1 || true
}
trap stop_session EXIT

"$wine" wineboot </dev/null >/dev/null 2>&1
keeper="$build_dir/bin/SessionKeeper.exe"
if [ -f "$keeper" ]; then
  "$wine" "$keeper" </dev/null >/dev/null 2>&1 &
fi

set +e
"$@"
status=$?
set -e
exit $status
