#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs what is missing, builds the 32-bit
# product and the 64-bit build, and runs the 64-bit tests under Wine + Xvfb. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash cmake/deps.sh

for preset in i686 x86_64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash cmake/wine-run.sh build/x86_64 \
  ctest --test-dir build/x86_64 --output-on-failure --timeout 120
