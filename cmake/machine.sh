# What the scripts need to know of this machine, and the checks they make before they rely on it.
# Sourced by cmake/deps.sh, cmake/test.sh, cmake/test32.sh and cmake/wine-run.sh; not run itself.

# The Japanese locale that gives Wine programs code page 932 (Shift-JIS).
japanese_locale=ja_JP.UTF-8

# Whether a 32-bit x86 Linux program runs here: a static one of 96 bytes that exits with code 42.
runs_32bit_program() {
  local probe
  probe=$(mktemp /tmp/exit42.XXXXXX)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ $status = 42 ]
}

# Whether the kernel runs 32-bit x86 code itself. An emulator's binfmt handler would answer in the
# kernel's place, so it is turned off first (as root; elsewhere no handler of ours is there).
kernel_runs_32bit_code() {
  local handler=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ -e "$handler" ] && [ "$(id -u)" = 0 ]; then echo 0 >"$handler"; fi
  runs_32bit_program
}

# How the 32-bit stage runs here: "native" where the kernel runs 32-bit code, else "vm" (the small
# emulated machine of cmake/vm32.sh). TOLVANE_32BIT=vm chooses the machine anyway, to try that way
# where it is not needed.
thirty_two_bit_mode() {
  if [ "${TOLVANE_32BIT:-}" = vm ] || ! kernel_runs_32bit_code; then echo vm; else echo native; fi
}

# Stops the caller with one line that names the cause when the Japanese locale is gone: without it
# every Wine program gets code page 1252, and the tests with Japanese names fail for no clear reason.
# A locale made only with localedef is deleted by the next locale-gen (an upgrade of the locales
# package runs one); cmake/deps.sh registers it in /etc/locale.gen, where locale-gen keeps it.
require_japanese_locale() {  # require_japanese_locale <who is asking>
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
  echo "$1: STOPPED: the locale $japanese_locale is missing (locale -a has no ja_JP.utf8), so Wine" \
    "programs would get code page 1252, not 932; run bash cmake/deps.sh, which registers it in" \
    "/etc/locale.gen and runs locale-gen" >&2
  return 1
}

# What a Wine prefix was made with: the Wine version, whether its 32-bit side could be made, and
# the version of the settings cmake/wine-run.sh gives it. A prefix whose stamp differs (Wine
# upgraded, 32-bit Wine installed after it, other settings) is made again, rather than updated by
# Wine in the middle of a test run.
wine_prefix_stamp() {
  local stamp
  stamp="$(/usr/lib/wine/wine64 --version 2>/dev/null), settings 2"
  [ -x /usr/lib/wine/wine ] && stamp="$stamp with 32-bit"
  echo "$stamp"
}
prefix_is_current() {  # prefix_is_current <prefix>
  # A registry left empty by a run cut short (its server killed while saving) is no prefix either.
  [ -f "$1/.made" ] && [ -s "$1/system.reg" ] && [ "$(cat "$1/.made")" = "$(wine_prefix_stamp)" ]
}
