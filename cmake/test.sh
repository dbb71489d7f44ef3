#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs every package first, builds the
# 32-bit product and the 64-bit build, runs the whole CTest suite on each under Wine + Xvfb, then
# checks the programs of the release zip as installed. The 32-bit suite and the checks run with
# Debian's 32-bit Wine, natively where the kernel runs 32-bit code, else in a small emulated machine
# beside the 64-bit suite (cmake/test32.sh). Ends with each suite's summary, the checks and the time
# of each part.
set -euo pipefail
cd "$(dirname "$0")/.."
source cmake/machine.sh
source cmake/ctest-suite.sh

started=$SECONDS
# Every package first: nothing installed later changes the system under the tests.
bash cmake/deps.sh
install_time=$((SECONDS - started))
mkdir -p build
# The 32-bit stage decides native or emulated and makes its prefix or its machine while the
# programs build.
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
[ $setup_status -eq 0 ] || cat build/stage32-setup.log
require_japanese_locale test.sh || exit 1

# In the emulated machine, the 32-bit stage mostly waits: it runs beside the 64-bit suite.
stage32_log=build/stage32/run.log
stage32_status=0
if [ "$mode" = vm ]; then
  if [ "${TOLVANE_32BIT_SUITE:-}" = vm ]; then bash cmake/test32.sh list; fi
  stage32_started=$SECONDS
  bash cmake/test32.sh run >"$stage32_log" 2>&1 &
  stage32=$!
fi

tests_started=$SECONDS
tests_status=0
echo "== 64-bit suite (build/x86_64) =="
run_suite build/x86_64 || tests_status=$?
tests64_time=$((SECONDS - tests_started))

if [ "$mode" = vm ]; then
  wait $stage32 || stage32_status=$?
  cat "$stage32_log"
  stage32_time=$((SECONDS - stage32_started))
  echo "Times: installing ${install_time} s, build ${build_time} s, 64-bit tests ${tests64_time} s," \
    "32-bit tests and installed checks in the emulated machine ${stage32_time} s (beside the 64-bit tests;" \
    "$(grep -o 'prefix ready after [0-9]* s\|suite done after [0-9]* s\|checks done after [0-9]* s' "$stage32_log" | paste -sd, -))," \
    "all $((SECONDS - started)) s"
else
  stage32_started=$SECONDS
  bash cmake/test32.sh run 2>&1 | tee "$stage32_log" || stage32_status=$?
  echo "Times: installing ${install_time} s, build ${build_time} s, 64-bit tests ${tests64_time} s," \
    "32-bit tests and installed checks ($mode) $((SECONDS - stage32_started)) s, all $((SECONDS - started)) s"
fi
[ $tests_status -eq 0 ] && [ $stage32_status -eq 0 ] && [ $setup_status -eq 0 ]
