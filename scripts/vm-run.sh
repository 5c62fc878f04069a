#!/usr/bin/env bash
# Runs one command inside a throw-away virtual machine on Debian's own kernel, so
# the device path meets the real input stack: evdev, uinput and udev, none of
# which the build machine's kernel offers.
#
#   scripts/vm-run.sh [--timeout SECONDS] [--] COMMAND [ARG...]
#
# The guest sees this machine's root file system read-only, with a tmpfs on top
# (writes vanish with the VM), and starts in the current directory with the
# current environment's PATH, HOME and GLIDEMARK_* variables. systemd-udevd runs
# before the command. Its output streams to ours; its exit status is ours.
# $VM_OUT in the guest is a folder whose files are copied back to $VM_OUT here
# when that is set. QEMU emulates the CPU in software (no KVM is needed): a
# boot takes a few seconds and keeps one core busy.
set -euo pipefail

# Inside the guest, as its first process: mount what a system has, start udev,
# run the command, report its status and power off.
if [ "${1:-}" = "--guest" ]; then
  set +e
  echo "vm: guest started at $(cut -d" " -f1 /proc/uptime) s"
  mount -t tmpfs -o mode=0755 tmpfs /run
  mount -t tmpfs -o mode=1777 tmpfs /tmp
  mkdir -p /dev/shm /dev/pts /run/vm /run/udev
  mount -t tmpfs -o mode=1777 tmpfs /dev/shm
  mount -t devpts devpts /dev/pts
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 vmshare /run/vm
  /lib/systemd/systemd-udevd --daemon >/dev/null 2>&1
  echo "vm: udevd up at $(cut -d" " -f1 /proc/uptime) s"
  # Only what input needs: the guest has ~250 devices, and processing all of
  # them under emulation takes most of a minute.
  udevadm trigger --action=add --subsystem-match=input --subsystem-match=misc
  udevadm settle --timeout=30
  echo "vm: udev settled after $(cut -d" " -f1 /proc/uptime) s"
  /bin/bash /run/vm/command
  echo $? > /run/vm/rc
  sync
  echo o > /proc/sysrq-trigger
  sleep 10
fi

here="$(cd "$(dirname "$0")/.." && pwd)"
timeout_s=300
while [ $# -gt 0 ]; do
  case "$1" in
    --timeout) timeout_s="$2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--timeout SECONDS] [--] COMMAND [ARG...]" >&2; exit 2; }

"$here/scripts/deps.sh" vm

kver=$(ls /lib/modules | sort -V | tail -n 1)
kimage=/boot/vmlinuz-$kver
[ -r "$kimage" ] || { echo "vm-run: no kernel image $kimage" >&2; exit 2; }
cache="$here/build/vm/$kver"
mkdir -p "$cache"

# The kernel's own ELF image boots straight into its PVH entry point: no
# firmware, no decompression under emulation.
if [ ! -s "$cache/vmlinux" ]; then
  offset=$(grep -abo -m 1 $'\xfd7zXZ\x00' "$kimage" | head -n 1 | cut -d: -f1)
  [ -n "$offset" ] || { echo "vm-run: $kimage is not xz-compressed" >&2; exit 2; }
  tail -c +$((offset + 1)) "$kimage" | xz -dc --single-stream > "$cache/vmlinux.tmp" 2>/dev/null || true
  [ -s "$cache/vmlinux.tmp" ] || { echo "vm-run: cannot unpack $kimage" >&2; exit 2; }
  mv "$cache/vmlinux.tmp" "$cache/vmlinux"
fi

# A busybox initramfs that loads what the guest needs, puts a writable layer over
# the host's root and hands over to the guest side of this script.
initrd="$cache/initrd.cpio.gz"
if [ ! -s "$initrd" ] || [ "$0" -nt "$initrd" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work"/{bin,dev,proc,sys,host,rw,newroot,modules}
  cp /bin/busybox "$work/bin/busybox"
  # Modules in load order: each one's dependencies (from modules.dep) first.
  declare -A seen=()
  mods=()
  add_module() {
    local line deps dep
    line=$(grep -E "(^|/)$1\.ko:" "/lib/modules/$kver/modules.dep" | head -n 1)
    [ -n "$line" ] || { echo "vm-run: module $1 not found for $kver" >&2; exit 2; }
    deps=${line#*:}
    for dep in $deps; do dep=${dep##*/}; add_module "${dep%.ko}"; done
    [ -n "${seen[$1]:-}" ] && return
    seen[$1]=1
    mods+=("$1")
    cp "/lib/modules/$kver/${line%%:*}" "$work/modules/$1.ko"
  }
  for m in virtio_pci 9pnet_virtio 9p overlay evdev uinput; do add_module "$m"; done
  cat > "$work/init" <<EOF
#!/bin/busybox sh
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sysfs /sys
/bin/busybox mount -t devtmpfs devtmpfs /dev
fail() { echo "vm: cannot set up the guest"; /bin/busybox poweroff -f; }
for m in ${mods[*]}; do /bin/busybox insmod /modules/\$m.ko || echo "vm: cannot load \$m"; done
/bin/busybox mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /host || fail
/bin/busybox mount -t tmpfs -o mode=0755 tmpfs /rw
/bin/busybox mkdir -p /rw/upper /rw/work
/bin/busybox mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work overlay /newroot || fail
for d in proc sys dev; do /bin/busybox mount --move /\$d /newroot/\$d; done
exec /bin/busybox switch_root /newroot /bin/bash $here/scripts/vm-run.sh --guest
EOF
  chmod +x "$work/init"
  (cd "$work" && find . | cpio -o -H newc --quiet | gzip -1) > "$initrd.tmp"
  mv "$initrd.tmp" "$initrd"
  rm -rf "$work"
  trap - EXIT
fi

# What the guest runs, and where it reports back.
share=$(mktemp -d)
trap 'rm -rf "$share"' EXIT
{
  printf 'cd %q || exit 125\n' "$PWD"
  for v in PATH HOME LANG $(compgen -e | grep -E '^(GLIDEMARK_|GTEST_|ASAN_|UBSAN_|TSAN_|LSAN_|VM_)' || true); do
    printf 'export %s=%q\n' "$v" "${!v}"
  done
  printf 'export VM_OUT=/run/vm/out GLIDEMARK_VM=1\n'
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} > "$share/command"
mkdir -p "$share/out"

set +e
timeout --foreground -k 5 "$timeout_s" qemu-system-x86_64 \
  -machine pc,accel=tcg -cpu max -m 2048 -smp 2 \
  -display none -monitor none -serial stdio -no-reboot -nodefaults \
  -kernel "$cache/vmlinux" -initrd "$initrd" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init i8042.noaux i8042.nokbd i8042.nopnp" \
  -fsdev local,id=root,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=root,mount_tag=hostroot \
  -fsdev local,id=share,path="$share",security_model=none \
  -device virtio-9p-pci,fsdev=share,mount_tag=vmshare </dev/null
qemu_rc=$?
set -e
if [ -n "${VM_OUT:-}" ] && [ -n "$(ls -A "$share/out")" ]; then
  mkdir -p "$VM_OUT" && cp -a "$share/out/." "$VM_OUT/"
fi
if [ ! -s "$share/rc" ]; then
  echo "vm-run: the virtual machine ended without a result (qemu exit $qemu_rc; 124 means the ${timeout_s} s timeout)" >&2
  exit 125
fi
exit "$(cat "$share/rc")"
