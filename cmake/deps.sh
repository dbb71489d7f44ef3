#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine, when missing:
# the MinGW-w64 cross compilers, Wine, Xvfb, CMake, Ninja, GoogleTest's sources, screenshot tools,
# the Japanese locale that gives Wine programs code page 932 and a Japanese font for the screenshots.
# Safe to run again.
set -euo pipefail

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xauth
          cmake ninja-build googletest locales x11-apps imagemagick fonts-wine procps
          zip unzip fonts-ipafont-gothic)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -q
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine takes each program's ANSI code page from its locale: ja_JP.UTF-8 gives 932 (Shift-JIS).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  as_root localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
