#!/usr/bin/env bash
# The 32-bit stage of the test command. Users download 32-bit programs, and the kernel of most of
# these machines runs 32-bit code itself: Debian's 32-bit Wine then runs the i686 build natively.
#   bash cmake/test32.sh setup    decide native or emulated, make the prefixes
#   bash cmake/test32.sh mode     print the mode setup decided: native, emulator or skipped
#   bash cmake/test32.sh checks   the installed-program checks (after setup, and after both presets are built)
#   bash cmake/test32.sh          setup and checks
# The checks run the programs users get (the stripped TolvaneLauncher.exe and Cunfigure.exe out of
# the release zip), each in an install folder of its own with the demo stand-ins. Where the kernel
# cannot run 32-bit code, qemu's user-mode emulator runs 32-bit Wine instead: slowly, and it stops
# programs by itself now and then, so a launcher that dies or hangs there is INCONCLUSIVE, never a pass.
# cmake/deps.sh installs what it needs. Needs root (the emulator's handler); elsewhere it prints
# "32-bit stage SKIPPED: <why>" and succeeds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
stage=$root/build/stage32
mode_file=$stage/mode
prefix=$stage/prefix
mkdir -p "$stage"

skip() {
  echo "32-bit stage SKIPPED: $*" | tee "$stage/skipped"
  echo skipped >"$mode_file"
  exit 0
}

source cmake/machine.sh

# The emulator's handler for 32-bit x86 programs (Debian ships the line for machines whose
# binfmt support reads /usr/lib/binfmt.d; on others it is registered by hand).
binfmt_line=':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
handler=/proc/sys/fs/binfmt_misc/qemu-i386

use_emulator() {
  [ -x /usr/bin/qemu-i386-static ] ||
    skip "this kernel runs no 32-bit code, and qemu-user-static is not installed (bash cmake/deps.sh installs it)"
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
      skip "this kernel runs no 32-bit code, and binfmt_misc cannot be mounted for the emulator"
  fi
  if [ -e "$handler" ]; then
    echo 1 >"$handler"
  else
    local line=$binfmt_line
    [ -f /usr/lib/binfmt.d/qemu-i386.conf ] && line=$(grep -m1 '^:qemu-i386:' /usr/lib/binfmt.d/qemu-i386.conf)
    printf '%s' "$line" >/proc/sys/fs/binfmt_misc/register 2>/dev/null ||
      skip "this kernel runs no 32-bit code, and the emulator's handler could not be registered"
  fi
  runs_32bit_program || skip "neither this kernel nor the emulator runs 32-bit code here"
}

setup() {
  rm -f "$stage/skipped" "$mode_file"
  [ "$(id -u)" = 0 ] || skip "not root: the 32-bit stage needs root"
  local mode=native
  if ! kernel_runs_32bit_code; then
    mode=emulator
    use_emulator
  fi
  dpkg -s wine32:i386 >/dev/null 2>&1 || skip "wine32:i386 is not installed (bash cmake/deps.sh installs it)"
  /usr/lib/wine/wine --version >/dev/null 2>&1 || skip "32-bit Wine does not start here"

  # The installed checks' prefix. A program that dies unhandled ends there: its "debugger" is a
  # command that exits at once, so a crash is seen as a crash, not as a hang in a debugger.
  if ! prefix_is_current "$prefix"; then
    rm -rf "$prefix"
    WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver64 \
      WINEDLLOVERRIDES="mscoree,mshtml=" bash -c '
        w=/usr/lib/wine/wine64
        $w wineboot -i
        $w reg add "HKCU\Software\Wine\X11 Driver" /v Managed /d N /f
        $w reg add "HKCU\Software\Wine\Explorer" /v Desktop /d Default /f
        $w reg add "HKCU\Software\Wine\Explorer\Desktops" /v Default /d 1024x768 /f
        debug="Microsoft\Windows NT\CurrentVersion\AeDebug"
        $w reg add "HKLM\Software\$debug" /v Debugger /d "C:\windows\system32\cmd.exe /c exit %ld %ld" /f
        $w reg add "HKLM\Software\Wow6432Node\$debug" /v Debugger /d "C:\windows\sysnative\cmd.exe /c exit %ld %ld" /f
        /usr/lib/wine/wineserver64 -k; /usr/lib/wine/wineserver64 -w' </dev/null >/dev/null 2>&1
    wine_prefix_stamp >"$prefix/.made"
  fi
  # The 32-bit test suite's own prefix, made now rather than in the suite's time.
  [ "$mode" = native ] && bash cmake/wine-run.sh --prepare build/i686
  # The emulator's handler is on only while the checks run: the machine's other 32-bit programs
  # are not left to it.
  [ "$mode" = emulator ] && echo 0 >"$handler"
  echo "$mode" >"$mode_file"
  echo "32-bit stage: $mode"
}

# One install folder per check: the shipped programs beside the stand-ins.
install_folder() {
  local folder=$stage/$1
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$stage/shipped/TolvaneLauncher.exe" "$stage/shipped/Cunfigure.exe" "$folder/"
  cp "$root/build/x86_64/bin/DemoMailClient.exe" "$root/build/x86_64/bin/DemoProxy.exe" "$folder/"
}

checks() {
  local mode
  mode=$(cat "$mode_file" 2>/dev/null || echo skipped)
  if [ "$mode" = skipped ]; then
    cat "$stage/skipped" 2>/dev/null || echo "32-bit stage SKIPPED: not set up"
    return 0
  fi
  require_japanese_locale test32.sh || return 1
  local started=$SECONDS
  rm -rf "$stage/package" "$stage/shipped" "$stage/out"
  mkdir -p "$stage/shipped" "$stage/out"
  bash cmake/package.sh --no-build "$stage/package" >/dev/null || { echo "32-bit stage: packing the zip failed"; return 1; }
  unzip -q "$stage/package/TolvaneLauncher.zip" -d "$stage/shipped"
  # Linked as the shipped programs are; stripped as they are.
  i686-w64-mingw32-strip -o "$stage/shipped/RuntimeThreadsProbe.exe" build/i686/bin/RuntimeThreadsProbe.exe
  for check in sequence no-proxy missing quit first-run; do install_folder "$check"; done

  # Natively a check takes seconds; an emulated program a minute or more to start.
  local limit=60 session_limit=300
  if [ "$mode" = emulator ]; then
    limit=300 session_limit=600
    echo 1 >"$handler" || { echo "32-bit stage: the emulator's handler could not be turned on"; return 1; }
  fi
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    stage=$1 root=$2 mode=$3 limit=$4 session_limit=$5
    export WINEPREFIX=$stage/prefix WINEARCH=win64 WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver64
    export WINELOADER=/usr/lib/wine/wine64 WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ja_JP.UTF-8
    w64=/usr/lib/wine/wine64 w32=/usr/lib/wine/wine
    /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
    trap "/usr/lib/wine/wineserver64 -k; /usr/lib/wine/wineserver64 -w" EXIT
    $w64 wineboot </dev/null >/dev/null 2>&1
    $w64 "$root/build/x86_64/bin/SessionKeeper.exe" </dev/null >/dev/null 2>&1 &
    win() { echo "Z:${1//\//\\}"; }
    checker=$root/build/x86_64/bin/InstalledLauncherCheck.exe
    run() {  # run <name> <command...>: output and exit code into out/<name>
      local name=$1; shift
      ( timeout "$session_limit" "$@" </dev/null >"$stage/out/$name.txt" 2>"$stage/out/$name.err"; echo $? >"$stage/out/$name.rc" ) &
      group+=($!)
    }
    finish_group() {  # not a bare wait: the session keeper runs on in the background
      wait "${group[@]}"
      group=()
    }
    check() { run "$1" $w64 "$checker" "$1" "$(win "$stage/$1")" "$limit"; }
    group=()
    if [ "$mode" = native ]; then
      check sequence; check no-proxy; check missing; check first-run
      run probe $w32 "$stage/shipped/RuntimeThreadsProbe.exe"
      finish_group
    else
      # Two emulated programs at a time: the machine has two cores.
      check sequence; check no-proxy; finish_group
      check missing; check first-run; finish_group
      run probe $w32 "$stage/shipped/RuntimeThreadsProbe.exe"
    fi
    # Alone: its clicks go to the rightmost tray icon, which must be the launcher it started.
    check quit
    finish_group
  ' stage32 "$stage" "$root" "$mode" "$limit" "$session_limit" >"$stage/out/session.txt" 2>&1
  [ "$mode" = emulator ] && echo 0 >"$handler"

  local failed=0
  # 0: passed; 3: the launcher died or hung (under the emulator: inconclusive); else failed.
  report() {  # report <name> <title>
    local rc
    rc=$(cat "$stage/out/$1.rc" 2>/dev/null || echo "none")
    local verdict=FAIL detail="exit code $rc"
    if [ "$rc" = 0 ]; then
      verdict=PASS detail=
    elif [ "$rc" = 124 ]; then
      detail="no result within the time limit"
    fi
    if [ "$verdict" = FAIL ] && [ "$mode" = emulator ] && [ "$rc" = 3 ]; then
      verdict="INCONCLUSIVE (emulator)" detail="the launcher died or hung; the emulator stops programs by itself"
    fi
    echo "32-bit check $2: $verdict${detail:+ ($detail)}"
    sed 's/^/    /' "$stage/out/$1.txt" 2>/dev/null
    [ "$verdict" = FAIL ] && failed=1
  }
  report sequence "1, the normal sequence"
  report no-proxy "1b, the sequence without a proxy"
  report missing "2, settings missing"
  report quit "3, the tray menu's item"
  report probe "4, exceptions and statics across threads"
  report first-run "5, a first run: no settings, Cunfigure's save, the sequence"
  if [ "$mode" = emulator ]; then
    echo "32-bit stage: the kernel runs no 32-bit code, so these ran under qemu's emulator and the 32-bit test suite did not run natively"
  fi
  echo "32-bit stage ($mode): $((SECONDS - started)) s of checks"
  return $failed
}

case "${1:-all}" in
  setup) setup ;;
  mode) cat "$mode_file" 2>/dev/null || echo skipped ;;
  checks) checks ;;
  all) setup && checks ;;
  *) echo "usage: bash cmake/test32.sh [setup|mode|checks]" >&2; exit 2 ;;
esac
