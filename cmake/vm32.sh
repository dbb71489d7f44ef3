#!/usr/bin/env bash
# A small full-system emulated x86_64 machine for the 32-bit stage, where this machine's kernel runs
# no 32-bit code: QEMU (software emulation) boots Debian's own kernel,
# which runs 32-bit code, with a busybox initramfs. The guest sees this machine's root read-only
# under a memory overlay (so Debian's 32-bit Wine and everything else installed here), and the
# project's build folder writable, then runs one command there as root.
#   bash cmake/vm32.sh setup                  make the kernel and the initramfs once, into build/vm32
#   bash cmake/vm32.sh run <command> [args]   run a command in the guest, in the current folder, with
#                                             this environment; its output streams back, and its exit
#                                             code is this script's (125: the guest gave none)
# VM32_MEMORY (MiB, default 4096), VM32_CPUS (default 2), VM32_ACCEL (default tcg; kvm to try).
# Packages: qemu-system-x86 and busybox-static (cmake/deps.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
vm=$root/build/vm32
kernel_dir=$vm/kernel
initramfs=$vm/initramfs.cpio.gz
init_version=1  # made again when the guest's init below changes

say() { echo "vm32: $*" >&2; }
die() {
  say "$*"
  exit 125
}

# The guest's first process (busybox sh): modules, the host's root under an overlay, the writable
# build folder, a fresh /proc, /sys, /dev, then the command; its output and exit code go to the run
# folder, which the host reads.
write_init() {
  cat >"$1" <<'INIT'
#!/bin/sh
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
arg() { for word in $(cat /proc/cmdline); do case $word in "$1="*) echo "${word#*=}" ;; esac; done; }
run=$(arg vm32.run) build=$(arg vm32.build)
off() { sync; poweroff -f; sleep 10; }
for module in $(cat /modules); do insmod "/lib/$module.ko" 2>/dev/null; done
options=trans=virtio,version=9p2000.L,msize=512000
mkdir -p /host /memory /guest
mount -t 9p -o $options,ro,cache=loose hostroot /host || off
mount -t tmpfs -o mode=755 memory /memory && mkdir -p /memory/upper /memory/work
mount -t overlay -o lowerdir=/host,upperdir=/memory/upper,workdir=/memory/work overlay /guest || off
g=/guest
# Programs run from the build folder: a PE image mapped from a share in cache=mmap reads as zeros,
# so it is cache=loose (the guest's writes reach the host when it syncs at the end). The run folder
# is cache=mmap: the host reads the command's output while it runs.
mount -t 9p -o $options,cache=loose build "$g$build" || off
mount -t 9p -o $options,cache=mmap run "$g$run" || off
mount -t proc proc $g/proc
mount -t sysfs sysfs $g/sys
mount -t devtmpfs devtmpfs $g/dev
mkdir -p $g/dev/pts $g/dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts $g/dev/pts
mount -t tmpfs -o mode=1777 shm $g/dev/shm
# devtmpfs has none of these; bash's process substitution needs /dev/fd.
ln -sf /proc/self/fd $g/dev/fd
ln -sf /proc/self/fd/0 $g/dev/stdin
ln -sf /proc/self/fd/1 $g/dev/stdout
ln -sf /proc/self/fd/2 $g/dev/stderr
mount -t tmpfs -o mode=755 run $g/run && mkdir -p $g/run/lock && chmod 1777 $g/run/lock
# The host's display and Wine server sockets are no use here: fresh folders for the guest's own.
for socket in .X11-unix .ICE-unix .wine-0; do
  mkdir -p "$g/tmp/$socket" && mount -t tmpfs -o mode=1777 sockets "$g/tmp/$socket"
done
ifconfig lo 127.0.0.1 up 2>/dev/null
hostname vm32
chroot $g /bin/bash "$run/command" </dev/null >>"$g$run/out" 2>>"$g$run/err"
echo $? >"$g$run/code.tmp"
# Every process is asked to end and waited for: wineserver saves the registry as it ends.
kill -TERM -1 2>/dev/null
n=0
while [ $n -lt 100 ]; do
  alive=0
  for process in /proc/[0-9]*; do [ "$process" != /proc/1 ] && [ -e "$process/exe" ] && alive=1 && break; done
  [ $alive = 0 ] && break
  sleep 0.1
  n=$((n + 1))
done
kill -KILL -1 2>/dev/null
sync
mv "$g$run/code.tmp" "$g$run/code"
off
INIT
}

setup() {
  mkdir -p "$vm"
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86 is not installed (bash cmake/deps.sh installs it)"
  [ -x /bin/busybox ] || die "busybox-static is not installed (bash cmake/deps.sh installs it)"
  if [ ! -s "$kernel_dir/vmlinuz" ]; then
    # Debian's current kernel, unpacked here, not installed: this machine keeps its own.
    local package
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    [ -n "$package" ] || { apt-get update -q >/dev/null 2>&1; package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'); }
    [ -n "$package" ] || die "no linux-image-*-amd64 package is known to apt"
    rm -rf "$kernel_dir" "$vm/download"
    mkdir -p "$kernel_dir/root" "$vm/download"
    (cd "$vm/download" && { apt-get download -q "$package" || { apt-get update -q && apt-get download -q "$package"; }; }) \
      >"$vm/download.log" 2>&1 || die "apt-get download $package failed ($vm/download.log)"
    dpkg-deb -x "$vm"/download/*.deb "$kernel_dir/root" || die "dpkg-deb -x failed"
    local version
    version=$(ls "$kernel_dir/root/lib/modules" | head -n 1)
    grep -q '^CONFIG_IA32_EMULATION=y' "$kernel_dir/root/boot/config-$version" || die "kernel $version runs no 32-bit code"
    cp "$kernel_dir/root/boot/vmlinuz-$version" "$kernel_dir/vmlinuz"
    echo "$version" >"$kernel_dir/version"
    rm -rf "$vm/download" "$initramfs"
  fi
  if [ ! -s "$initramfs" ] || [ "$(cat "$initramfs.version" 2>/dev/null)" != "$init_version" ]; then
    local version tree=$vm/initramfs
    version=$(cat "$kernel_dir/version")
    rm -rf "$tree"
    mkdir -p "$tree"/{bin,lib,proc,sys,dev,tmp}
    cp /bin/busybox "$tree/bin/busybox"
    for applet in $("$tree/bin/busybox" --list); do [ -e "$tree/bin/$applet" ] || ln -s busybox "$tree/bin/$applet"; done
    : >"$tree/modules"
    # In the order they need each other (what is built into the kernel is not found, and skipped).
    local module file
    for module in virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci \
                  9pnet 9pnet_virtio netfs fscache 9p overlay; do
      file=$(find "$kernel_dir/root/lib/modules/$version" -name "$module.ko*" | head -n 1)
      [ -n "$file" ] || continue
      case $file in
        *.xz) xz -dc "$file" >"$tree/lib/$module.ko" ;;
        *.zst) zstd -qdc "$file" >"$tree/lib/$module.ko" ;;
        *) cp "$file" "$tree/lib/$module.ko" ;;
      esac
      echo "$module" >>"$tree/modules"
    done
    write_init "$tree/init"
    chmod 755 "$tree/init"
    (cd "$tree" && find . | "$tree/bin/busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$initramfs.tmp" || die "cpio failed"
    mv "$initramfs.tmp" "$initramfs"
    echo "$init_version" >"$initramfs.version"
    rm -rf "$tree"
  fi
}

# Software emulation, as on the machines of the kind this is for (they have no /dev/kvm, and where
# one is there it is not always usable: a nested host refuses QEMU's processor settings).
accelerator() { echo "${VM32_ACCEL:-tcg,thread=multi,tb-size=1024}"; }

run() {
  setup
  mkdir -p "$vm/runs"
  local folder
  folder=$(mktemp -d "$vm/runs/XXXXXX") || die "no run folder"
  : >"$folder/out"
  : >"$folder/err"
  {
    local name
    for name in $(compgen -e); do
      case $name in DISPLAY | XAUTHORITY | PWD | OLDPWD | SHLVL | _ | SSH_* | DBUS_* | XDG_*) continue ;; esac
      printf 'export %s=%q\n' "$name" "${!name}"
    done
    printf 'cd %q || exit 126\nexec' "$PWD"
    printf ' %q' "$@"
    echo
  } >"$folder/command"
  # Software emulation: a plain processor, whose code the emulator runs faster than that of its
  # "max" (and without SMAP, with which QEMU 7.2 faults on a 32-bit iret and the guest kernel then
  # kills every 32-bit program).
  local cpu=Nehalem
  case $(accelerator) in kvm*) cpu=host ;; esac
  local arguments=(-nodefaults -no-user-config -machine q35 -accel "$(accelerator)" -cpu "$cpu"
    -smp "${VM32_CPUS:-2}" -m "${VM32_MEMORY:-4096}" -display none -no-reboot -monitor none
    -serial "file:$folder/console.log" -kernel "$kernel_dir/vmlinuz" -initrd "$initramfs"
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot
    -fsdev "local,id=build,path=$root/build,security_model=none,multidevs=remap"
    -device virtio-9p-pci,fsdev=build,mount_tag=build
    -fsdev "local,id=run,path=$folder,security_model=none"
    -device virtio-9p-pci,fsdev=run,mount_tag=run
    -append "console=ttyS0 quiet loglevel=3 panic=-1 pti=off mitigations=off tsc=reliable rdinit=/init vm32.run=$folder vm32.build=$root/build")
  case "$root$folder" in *[[:space:],]*) die "the build folder's path may hold no blank or comma: $root" ;; esac
  qemu-system-x86_64 "${arguments[@]}" </dev/null >"$folder/qemu.log" 2>&1 &
  local qemu=$!
  trap 'kill $qemu 2>/dev/null' INT TERM HUP
  tail -c +1 -f --pid=$qemu -s 0.5 "$folder/out" &
  local out=$!
  tail -c +1 -f --pid=$qemu -s 0.5 "$folder/err" >&2 &
  local err=$!
  wait $qemu
  wait $out $err 2>/dev/null
  trap - INT TERM HUP
  local code=125
  if [ -s "$folder/code" ]; then
    code=$(cat "$folder/code")
    rm -rf "$folder"
  else
    say "the guest gave no exit code; kept $folder. QEMU said:"
    cat "$folder/qemu.log" >&2
    tail -n 30 "$folder/console.log" >&2
  fi
  return "$code"
}

case "${1:-}" in
  setup) setup ;;
  run)
    shift
    run "$@"
    ;;
  *)
    echo "usage: bash cmake/vm32.sh setup | run <command> [arguments...]" >&2
    exit 2
    ;;
esac
