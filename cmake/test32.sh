#!/usr/bin/env bash
# The 32-bit stage of the test command: runs the programs users download (the stripped i686
# TolvaneLauncher.exe and Cunfigure.exe, out of the release zip) under Debian's 32-bit Wine, which
# this 64-bit kernel runs through qemu's user-mode emulator. Each emulated program takes a minute
# or more to start, so the checks run two at a time, with generous limits.
#   bash cmake/test32.sh setup    install and register what is missing, make the stage's prefix
#   bash cmake/test32.sh checks   run the checks (after setup, and after both presets are built)
#   bash cmake/test32.sh          both
# Needs root (it installs packages and registers the emulator); elsewhere it prints
# "32-bit stage SKIPPED: <why>" and succeeds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
stage=$root/build/stage32
skipped=$stage/skipped
prefix=$stage/prefix
mkdir -p "$stage"

skip() {
  echo "32-bit stage SKIPPED: $*" | tee "$skipped"
  exit 0
}

# The emulator's handler for 32-bit x86 programs (Debian ships the line for machines whose
# binfmt support reads /usr/lib/binfmt.d; on others it is registered by hand).
binfmt_line=':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

setup() {
  rm -f "$skipped"
  [ "$(id -u)" = 0 ] || skip "not root: the emulator and 32-bit Wine cannot be installed and registered"
  if [ ! -x /usr/bin/qemu-i386-static ]; then
    apt-get install -y --no-install-recommends qemu-user-static >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends qemu-user-static >/dev/null; } ||
      skip "qemu-user-static could not be installed"
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
      skip "binfmt_misc cannot be mounted here, so 32-bit programs cannot be run"
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    local line=$binfmt_line
    [ -f /usr/lib/binfmt.d/qemu-i386.conf ] && line=$(grep -m1 '^:qemu-i386:' /usr/lib/binfmt.d/qemu-i386.conf)
    printf '%s' "$line" > /proc/sys/fs/binfmt_misc/register 2>/dev/null ||
      skip "the emulator's handler for 32-bit programs could not be registered"
  fi
  if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update >/dev/null && apt-get install -y --no-install-recommends wine32:i386 >/dev/null ||
      skip "wine32:i386 could not be installed"
    rm -rf "$prefix"  # a prefix made before 32-bit Wine was there lacks its system folder
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || skip "the emulator does not run 32-bit programs on this machine"

  # A program that dies unhandled ends there: its "debugger" is a 64-bit command that exits at once,
  # not the emulated one (Wine starts its own when the value is missing).
  if [ ! -f "$prefix/.made" ]; then
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
        /usr/lib/wine/wineserver64 -w' </dev/null >/dev/null 2>&1
    touch "$prefix/.made"
  fi
}

# One install folder per check: the shipped programs beside the 64-bit stand-ins.
install_folder() {
  local folder=$stage/$1
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$stage/shipped/TolvaneLauncher.exe" "$stage/shipped/Cunfigure.exe" "$folder/"
  cp "$root/build/x86_64/bin/DemoMailClient.exe" "$root/build/x86_64/bin/DemoProxy.exe" "$folder/"
}

checks() {
  if [ -f "$skipped" ]; then
    cat "$skipped"
    return 0
  fi
  local started=$SECONDS
  rm -rf "$stage/package" "$stage/shipped" "$stage/out"
  mkdir -p "$stage/shipped" "$stage/out"
  bash cmake/package.sh --no-build "$stage/package" >/dev/null || { echo "32-bit stage: packing the zip failed"; return 1; }
  unzip -q "$stage/package/TolvaneLauncher.zip" -d "$stage/shipped"
  # Linked as the shipped programs are; stripped as they are.
  i686-w64-mingw32-strip -o "$stage/shipped/RuntimeThreadsProbe.exe" build/i686/bin/RuntimeThreadsProbe.exe
  for check in sequence sequence-again no-proxy missing quit; do install_folder "$check"; done

  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    stage=$1 root=$2
    export WINEPREFIX=$stage/prefix WINEARCH=win64 WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver64
    export WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ja_JP.UTF-8
    w64=/usr/lib/wine/wine64 w32=/usr/lib/wine/wine
    /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
    trap "/usr/lib/wine/wineserver64 -k; /usr/lib/wine/wineserver64 -w" EXIT
    $w64 wineboot </dev/null >/dev/null 2>&1
    $w64 "$root/build/x86_64/bin/SessionKeeper.exe" </dev/null >/dev/null 2>&1 &
    win() { $w64 winepath -w "$1" 2>/dev/null; }
    checker=$root/build/x86_64/bin/InstalledLauncherCheck.exe
    run() {  # run <name> <seconds> <command...>: output and exit code into out/<name>
      local name=$1 limit=$2; shift 2
      ( timeout "$limit" "$@" </dev/null >"$stage/out/$name.txt" 2>"$stage/out/$name.err"; echo $? >"$stage/out/$name.rc" ) &
      pair+=($!)
    }
    finish_pair() {  # not a bare wait: the session keeper runs on in the background
      wait "${pair[@]}"
      pair=()
    }
    pair=()
    # Two emulated programs at a time: the machine has two cores. Each pair waits for its slowest, so
    # the long checks go together.
    run sequence 600 $w64 "$checker" sequence "$(win "$stage/sequence")"
    run no-proxy 600 $w64 "$checker" no-proxy "$(win "$stage/no-proxy")"
    finish_pair
    # A sequence the emulator stopped gets a second run. Not beside the tray check: its clicks go to
    # the rightmost icon, which must belong to the launcher it started.
    if [ "$(cat "$stage/out/sequence.rc")" = 3 ]; then
      run sequence-again 600 $w64 "$checker" sequence "$(win "$stage/sequence-again")"
    fi
    run missing 600 $w64 "$checker" missing "$(win "$stage/missing")"
    finish_pair
    run quit 600 $w64 "$checker" quit "$(win "$stage/quit")"
    run probe 300 $w32 "$stage/shipped/RuntimeThreadsProbe.exe"
    # Stopped twice: whether the emulator stops the plainest program with two threads too. Only then,
    # as it may hang until its limit.
    if [ -f "$stage/out/sequence-again.rc" ] && [ "$(cat "$stage/out/sequence-again.rc")" = 3 ]; then
      run limit 240 $w32 "$root/build/i686/bin/ThreadsAtOnce.exe" 2
    fi
    finish_pair
  ' stage32 "$stage" "$root" >"$stage/out/session.txt" 2>&1

  local failed=0
  rc() { cat "$stage/out/$1.rc" 2>/dev/null || echo 124; }
  # The second run and the two-thread program run only when needed: say so rather than a code.
  outcome() { [ -f "$stage/out/$1.rc" ] && echo "exit code $(rc "$1")" || echo "not run"; }
  report() {  # report <name> <title> <PASS|FAIL> [detail]
    echo "32-bit check $2: $3${4:+ ($4)}"
    sed 's/^/    /' "$stage/out/$1.txt"
    [ "$3" = PASS ] || failed=1
  }
  if [ "$(rc sequence)" = 0 ]; then
    report sequence "1, the normal sequence" PASS
  elif [ "$(rc sequence)" = 3 ] && [ -f "$stage/out/sequence-again.rc" ] && [ "$(rc sequence-again)" = 0 ]; then
    sed 's/^/    first run: /' "$stage/out/sequence.txt"
    report sequence-again "1, the normal sequence" PASS "in its second run: the emulator stopped the first"
  elif [ "$(rc sequence)" = 3 ] && [ "$(rc sequence-again)" = 3 ] && [ -f "$stage/out/limit.rc" ] && [ "$(rc limit)" != 0 ]; then
    sed 's/^/    first run: /' "$stage/out/sequence.txt"
    report sequence-again "1, the normal sequence" PASS "up to the emulator's limit in both runs: the plain ThreadsAtOnce.exe fails here too (exit code $(rc limit)), see the README; check 1b covers the rest"
    sed 's/^/    limit: /' "$stage/out/limit.txt" "$stage/out/limit.err" | head -n 5
  else
    report sequence "1, the normal sequence" FAIL "$(outcome sequence); again: $(outcome sequence-again); ThreadsAtOnce.exe: $(outcome limit)"
  fi
  [ "$(rc no-proxy)" = 0 ] && report no-proxy "1b, the sequence without a proxy" PASS || report no-proxy "1b, the sequence without a proxy" FAIL
  [ "$(rc missing)" = 0 ] && report missing "2, settings missing" PASS || report missing "2, settings missing" FAIL
  [ "$(rc quit)" = 0 ] && report quit "3, the tray menu's item" PASS || report quit "3, the tray menu's item" FAIL
  [ "$(rc probe)" = 0 ] && report probe "4, exceptions and statics across threads" PASS ||
    report probe "4, exceptions and statics across threads" FAIL "exit code $(rc probe)"
  echo "32-bit stage: $((SECONDS - started)) s of checks"
  return $failed
}

case "${1:-all}" in
  setup) setup ;;
  checks) checks ;;
  all) setup && checks ;;
  *) echo "usage: bash cmake/test32.sh [setup|checks]" >&2; exit 2 ;;
esac
