#!/usr/bin/env bash
# Runs a command inside a Wine session for one build folder:
#   bash cmake/wine-run.sh <build folder> <command> [arguments...]
#   bash cmake/wine-run.sh --prepare <build folder>    only make the folder's prefix (no display needed)
# The session has a private prefix under the build folder (made once, with the settings below), one
# persistent wineserver for the whole command, code page 932, and a long-lived hidden GUI program so
# Wine's shell stays up between test processes.
# A 32-bit build (build/i686) gets a 64-bit prefix with its 32-bit side (WoW64), run by Debian's
# 32-bit Wine; both loaders share the one server.
# Run it under a display (xvfb-run). Wine's own processes get no inherited output pipes, or a
# caller that reads our output (CTest, a pipe) would wait for them forever.
set -euo pipefail
source "$(dirname "$0")/machine.sh"
require_japanese_locale wine-run.sh

prepare_only=no
if [ "$1" = --prepare ]; then
  prepare_only=yes
  shift
fi
mkdir -p "$1"
build_dir=$(cd "$1" && pwd)
shift

export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# Each loader finds its twin by this name (wine64 less its suffix for 32-bit programs).
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8

wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
program_loader=$wine
if grep -qs '^CMAKE_TOOLCHAIN_FILE.*i686' "$build_dir/CMakeCache.txt"; then
  program_loader=/usr/lib/wine/wine
fi

stop_server() {
  "$server" -k </dev/null >/dev/null 2>&1 || true
  "$server" -w </dev/null >/dev/null 2>&1 || true
}

if ! prefix_is_current "$WINEPREFIX"; then
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
  # A virtual desktop, so the notification area answers quickly; windows that no window manager
  # waits on (none runs on Xvfb); and a crash's "debugger" that exits at once, so that a program that
  # dies unhandled is seen to die, not to hang in a debugger.
  sed 's/$/\r/' >"$WINEPREFIX/test-settings.reg" <<'SETTINGS'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="C:\\windows\\system32\\cmd.exe /c exit %ld %ld"

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="C:\\windows\\sysnative\\cmd.exe /c exit %ld %ld"
SETTINGS
  "$wine" regedit /s "$WINEPREFIX/test-settings.reg" </dev/null >/dev/null 2>&1
  # Made outside a display, the server and desktop it leaves would make the next session's windows
  # fail: end them, not just wait for them.
  stop_server
  wine_prefix_stamp >"$WINEPREFIX/.made"
fi
[ "$prepare_only" = yes ] && exit 0

"$server" -p </dev/null >/dev/null 2>&1
trap stop_server EXIT

"$wine" wineboot </dev/null >/dev/null 2>&1
keeper="$build_dir/bin/SessionKeeper.exe"
if [ -f "$keeper" ]; then
  "$program_loader" "$keeper" </dev/null >/dev/null 2>&1 &
fi

set +e
"$@"
status=$?
set -e
exit $status
