#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs what is missing, builds the 32-bit
# product and the 64-bit build, runs the whole CTest suite on each under Wine + Xvfb (the 32-bit one
# with Debian's 32-bit Wine, where the kernel runs 32-bit code), then checks the programs of the
# release zip as installed (cmake/test32.sh). Ends with each suite's summary, the checks and the
# time of each part.
set -euo pipefail
cd "$(dirname "$0")/.."
source cmake/machine.sh

started=$SECONDS
# Every package first: nothing installed later changes the system under the tests.
bash cmake/deps.sh
install_time=$((SECONDS - started))
mkdir -p build
# The 32-bit stage decides native or emulated and makes its prefixes while the programs build.
bash cmake/test32.sh setup >build/stage32-setup.log 2>&1 &
setup32=$!

for preset in i686 x86_64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
build_time=$((SECONDS - started - install_time))

setup_status=0
wait $setup32 || setup_status=$?
mode=$(bash cmake/test32.sh mode)

# Wine now and then loses a new process in its own start-up: CreateProcess fails with its internal
# error (1359) before the program ran a line. A test whose output shows that gets one more run, in a
# fresh session, and is named with the reason; every other failure stands.
run_suite() {  # run_suite <build folder>: the whole CTest suite in a Wine session of its own
  local build_dir=$1 failed_list=$1/Testing/Temporary/LastTestsFailed.log log=$1/Testing/Temporary/LastTest.log
  local run=(xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh "$build_dir"
             ctest --test-dir "$build_dir" --output-on-failure --timeout 120)
  rm -f "$failed_list"
  "${run[@]}" && return 0
  [ -s "$failed_list" ] || return 1
  local name lost=()
  while read -r name; do
    if awk -v name="$name" '
        { line = $0 }
        sub(/^[0-9]+\/[0-9]+ Test: /, "", line) { inside = line == name }
        inside && /(error|code)[^0-9]*1359([^0-9]|$)/ { found = 1 }
        END { exit found ? 0 : 1 }' "$log"; then
      lost+=("$name")
    else
      return 1
    fi
  done < <(cut -d: -f2 "$failed_list")
  echo "Wine lost a new process in its start-up (CreateProcess error 1359), run again: ${lost[*]}"
  "${run[@]}" --rerun-failed
}

tests_started=$SECONDS
tests_status=0
echo "== 64-bit suite (build/x86_64) =="
require_japanese_locale test.sh || exit 1
run_suite build/x86_64 || tests_status=$?
tests64_time=$((SECONDS - tests_started))

tests_started=$SECONDS
tests32_status=0
if [ "$mode" = native ]; then
  echo "== 32-bit suite (build/i686, natively with 32-bit Wine) =="
  require_japanese_locale test.sh || exit 1
  run_suite build/i686 || tests32_status=$?
else
  echo "== 32-bit suite: NOT RUN: this machine runs no 32-bit code natively ($mode; see build/stage32-setup.log) =="
fi
tests32_time=$((SECONDS - tests_started))

checks_started=$SECONDS
checks_status=0
if [ $setup_status -eq 0 ]; then
  bash cmake/test32.sh checks || checks_status=$?
else
  cat build/stage32-setup.log
  echo "32-bit stage: setting up failed (build/stage32-setup.log)"
fi
checks_time=$((SECONDS - checks_started))

echo "Times: installing ${install_time} s, build ${build_time} s, 64-bit tests ${tests64_time} s," \
  "32-bit tests ${tests32_time} s, installed checks ${checks_time} s, all $((SECONDS - started)) s"
[ $tests_status -eq 0 ] && [ $tests32_status -eq 0 ] && [ $setup_status -eq 0 ] && [ $checks_status -eq 0 ]
