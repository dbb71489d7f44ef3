#!/usr/bin/env bash
# The 32-bit stage of the test command: the whole test suite on the i686 build, which is what users
# download, and the checks of the programs in the release zip as installed. Debian's 32-bit Wine
# runs them natively where the kernel runs 32-bit code; elsewhere a small emulated machine does
# (cmake/vm32.sh), booted once. There the checks run; the suite, one test process per test program
# (cmake/batched-suite.py, since every process start costs seconds there), takes about 35 minutes,
# and runs only with TOLVANE_32BIT_SUITE=vm.
#   bash cmake/test32.sh setup    decide the mode; make the machine, or the prefix where native
#   bash cmake/test32.sh mode     print the mode setup decided: native, vm or skipped
#   bash cmake/test32.sh list     (vm) list the tests, from the 64-bit build, whose tests are the same
#   bash cmake/test32.sh run      the suite, then the checks (after setup, both builds, and list for
#                                 vm); prints the suite's CTest summary and each check's verdict
#   bash cmake/test32.sh checks   the checks alone
# The checks run the stripped TolvaneLauncher.exe and Cunfigure.exe out of the release zip, each in
# an install folder of its own with the demo stand-ins. A launcher that dies, hangs or exits with a
# code other than 0 fails its check. cmake/deps.sh installs what the stage needs. Needs root (the
# emulated machine reads the whole root); elsewhere it prints "32-bit stage SKIPPED: <why>".
set -uo pipefail
cd "$(dirname "$0")/.."
source cmake/machine.sh
source cmake/ctest-suite.sh
root=$PWD
stage=$root/build/stage32
mode_file=$stage/mode
checks=(sequence no-proxy missing quit first-run)
# In the emulated machine, the tests whose time bound only its slow processor misses get their
# bound multiplied by this (tests/TestSupport.h, TimeBound; docs/DEVELOPING.md names them).
vm_time_scale=4
mkdir -p "$stage"

skip() {
  echo "32-bit stage SKIPPED: $*" | tee "$stage/skipped"
  echo skipped >"$mode_file"
  exit 0
}

setup() {
  rm -f "$stage/skipped" "$mode_file"
  [ "$(id -u)" = 0 ] || skip "not root: the 32-bit stage needs root"
  dpkg -s wine32:i386 >/dev/null 2>&1 || skip "wine32:i386 is not installed (bash cmake/deps.sh installs it)"
  local mode
  mode=$(thirty_two_bit_mode)
  if [ "$mode" = vm ]; then
    bash cmake/vm32.sh setup || skip "the emulated machine could not be made"
  else
    /usr/lib/wine/wine --version >/dev/null 2>&1 || skip "32-bit Wine does not start here"
    make_prefix
  fi
  echo "$mode" >"$mode_file"
  echo "32-bit stage: $mode"
}

# The suite's prefix, made once per build folder (cmake/wine-run.sh); the checks run in it too,
# after the suite.
make_prefix() { bash cmake/wine-run.sh --prepare build/i686; }

# One install folder per check: the shipped programs beside the stand-ins.
prepare_checks() {
  rm -rf "$stage/package" "$stage/shipped" "$stage/out"
  mkdir -p "$stage/shipped" "$stage/out"
  bash cmake/package.sh --no-build "$stage/package" >/dev/null || { echo "32-bit stage: packing the zip failed"; return 1; }
  unzip -q "$stage/package/TolvaneLauncher.zip" -d "$stage/shipped"
  # Linked as the shipped programs are; stripped as they are.
  i686-w64-mingw32-strip -o "$stage/shipped/RuntimeThreadsProbe.exe" build/i686/bin/RuntimeThreadsProbe.exe
  local check folder
  for check in "${checks[@]}"; do
    folder=$stage/$check
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$stage/shipped/TolvaneLauncher.exe" "$stage/shipped/Cunfigure.exe" "$folder/"
    cp "$root/build/x86_64/bin/DemoMailClient.exe" "$root/build/x86_64/bin/DemoProxy.exe" "$folder/"
  done
}

# The checks in a Wine session of their own; each one's output and exit code into out/.
checks_session() {
  local limit=$1
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    stage=$1 root=$2 limit=$3
    export WINEPREFIX=$root/build/i686/wineprefix WINEARCH=win64 WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver64
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
      ( timeout $((limit * 5)) "$@" </dev/null >"$stage/out/$name.txt" 2>"$stage/out/$name.err"; echo $? >"$stage/out/$name.rc" ) &
      group+=($!)
    }
    finish_group() {  # not a bare wait: the session keeper runs on in the background
      wait "${group[@]}"
      group=()
    }
    check() { run "$1" $w64 "$checker" "$1" "$(win "$stage/$1")" "$limit"; }
    group=()
    # One launcher at a time: the mail windows of all of them have the same title, and a launcher
    # follows whichever it finds. The probe starts no window.
    run probe $w32 "$stage/shipped/RuntimeThreadsProbe.exe"
    for name in sequence no-proxy missing first-run quit; do
      check "$name"
      wait "${group[@]: -1}"
    done
    finish_group
  ' stage32 "$stage" "$root" "$limit" >"$stage/out/session.txt" 2>&1
}

report_checks() {
  local failed=0
  report() {  # report <name> <title>
    local rc verdict=FAIL detail
    rc=$(cat "$stage/out/$1.rc" 2>/dev/null || echo "none")
    detail="exit code $rc"
    if [ "$rc" = 0 ]; then
      verdict=PASS detail=
    elif [ "$rc" = 124 ]; then
      detail="no result within the time limit"
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
  return $failed
}

# In the emulated machine (run by `guest`): the prefixes once per build folder, the suite with one
# process per test program, the checks. The suite's list is the 64-bit build's, made on this side.
guest() {
  local started=$SECONDS
  make_prefix || { echo "32-bit stage: the prefix could not be made"; return 1; }
  echo "32-bit stage: prefix ready after $((SECONDS - started)) s"
  local suite_status=0
  if [ "${TOLVANE_32BIT_SUITE:-}" = vm ]; then
    TOLVANE_TIME_SCALE=$vm_time_scale xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh build/i686 \
      /usr/bin/python3 cmake/batched-suite.py build/stage32/tests.json build/x86_64 build/i686 || suite_status=$?
    echo "32-bit stage: suite done after $((SECONDS - started)) s"
  else
    echo "32-bit suite: NOT RUN in the emulated machine, where it takes about 35 minutes (the test command's" \
      "limit is 30); TOLVANE_32BIT_SUITE=vm runs it there. The installed checks run."
  fi
  checks_session 120
  echo "32-bit stage: checks done after $((SECONDS - started)) s"
  return $suite_status
}

# The list of tests, from the 64-bit build (the same tests): listing the 32-bit programs in the
# emulated machine would cost a process start each.
list() {
  xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh build/x86_64 \
    ctest --test-dir build/x86_64 --show-only=json-v1 >"$stage/tests.json" ||
    { echo "32-bit stage: the list of tests could not be made"; return 1; }
}

run() {
  local mode
  mode=$(cat "$mode_file" 2>/dev/null || echo skipped)
  if [ "$mode" = skipped ]; then
    cat "$stage/skipped" 2>/dev/null || echo "32-bit stage SKIPPED: not set up"
    return 0
  fi
  require_japanese_locale test32.sh || return 1
  prepare_checks || return 1
  local suite_status=0 started=$SECONDS
  if [ "$mode" = native ]; then
    echo "== 32-bit suite (build/i686, natively with 32-bit Wine) =="
    run_suite build/i686 || suite_status=$?
    local suite_time=$((SECONDS - started))
    checks_session 60
  else
    echo "== 32-bit stage in the emulated machine (no 32-bit code runs on this kernel) =="
    if [ "${TOLVANE_32BIT_SUITE:-}" = vm ] && [ ! -s "$stage/tests.json" ]; then list || return 1; fi
    bash cmake/vm32.sh run bash cmake/test32.sh guest || suite_status=$?
    local suite_time=$((SECONDS - started))
  fi
  local checks_status=0
  report_checks || checks_status=$?
  echo "32-bit stage ($mode): suite and prefixes ${suite_time} s, all $((SECONDS - started)) s"
  [ $suite_status -eq 0 ] && [ $checks_status -eq 0 ]
}

# The checks alone, as the test command runs them.
checks() {
  local mode
  mode=$(cat "$mode_file" 2>/dev/null || echo skipped)
  [ "$mode" != skipped ] || { cat "$stage/skipped" 2>/dev/null; return 0; }
  prepare_checks || return 1
  if [ "$mode" = native ]; then
    checks_session 60
  else
    bash cmake/vm32.sh run bash cmake/test32.sh guest-checks
  fi
  report_checks
}

case "${1:-}" in
  setup) setup ;;
  mode) cat "$mode_file" 2>/dev/null || echo skipped ;;
  list) list ;;
  run) run ;;
  checks) checks ;;
  guest) guest ;;
  guest-checks) make_prefix && checks_session 120 ;;
  *)
    echo "usage: bash cmake/test32.sh setup|mode|list|run|checks" >&2
    exit 2
    ;;
esac
