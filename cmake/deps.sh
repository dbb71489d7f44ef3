#!/usr/bin/env bash
# Sets up a Debian 12 machine for the build, the tests, the demo and the 32-bit stage, when anything
# is missing: the MinGW-w64 cross compilers, Wine (64-bit, and Debian's 32-bit Wine for the 32-bit
# stage), Xvfb, CMake, Ninja, GoogleTest's sources, screenshot tools, the emulated machine the
# 32-bit stage needs where the kernel runs no 32-bit code, and the Japanese locale that gives Wine
# programs code page 932. Everything is installed in one step before anything is configured, so that no later install
# changes the system under the tests (the 32-bit Wine pulls in a newer libc and locales, whose
# set-up runs locale-gen). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
source cmake/machine.sh

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xauth
          cmake ninja-build googletest locales x11-apps imagemagick fonts-wine procps
          zip unzip fonts-ipafont-gothic e2fsprogs wine32:i386)
# Where the kernel runs no 32-bit code, the 32-bit stage runs in a small emulated machine
# (cmake/vm32.sh), one test process per test program (cmake/batched-suite.py).
if [ "$(thirty_two_bit_mode)" = vm ]; then
  packages+=(qemu-system-x86 busybox-static python3 xz-utils zstd)
fi

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
  as_root apt-get update -q
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Japanese locale, the distribution's way: registered in /etc/locale.gen, so that every later
# locale-gen builds it again, then built.
if ! grep -qE "^[[:space:]]*$japanese_locale[[:space:]]+UTF-8" /etc/locale.gen 2>/dev/null; then
  if grep -qE "^#[[:space:]]*$japanese_locale[[:space:]]+UTF-8" /etc/locale.gen 2>/dev/null; then
    as_root sed -i -E "0,/^#[[:space:]]*$japanese_locale[[:space:]]+UTF-8/s//$japanese_locale UTF-8/" /etc/locale.gen
  else
    echo "$japanese_locale UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
  fi
  as_root locale-gen
elif ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  as_root locale-gen
fi
require_japanese_locale deps.sh
