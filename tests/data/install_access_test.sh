#!/usr/bin/env bash
# The privileged install helper, laid out as the package installs it, run as
# pkexec runs it, in a private mount namespace where /etc is an overlay (so
# nothing reaches the real one) and udevadm and modprobe are stand-ins that
# record their calls. It must install only its own packaged files, and refuse
# everything else without writing anything or triggering udev.
# Usage: install_access_test.sh DATA_DIR   (the source tree's data/)
set -euo pipefail
data=$(readlink -f "$1")
if [ "${2-}" != --inside ]; then
  [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for a private mount namespace"; exit 77; }
  unshare --mount true 2>/dev/null || { echo "skipped: unshare --mount is not allowed here"; exit 77; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  unshare --mount --propagation private "$0" "$1" --inside "$work"
  exit
fi

work=$3
mount -t tmpfs -o mode=0755 none "$work"
mkdir -p "$work"/{upper,ovwork,stubs} "$work"/usr/libexec/glidemark "$work"/usr/share/glidemark/{udev,examples}
mount -t overlay overlay -o "lowerdir=/etc,upperdir=$work/upper,workdir=$work/ovwork" /etc ||
  { echo "skipped: no overlay file system to keep the real /etc out of reach"; exit 77; }
printf '#!/bin/sh\necho "${0##*/} $*" >> %s/calls\n' "$work" > "$work/stubs/stub"
chmod 755 "$work/stubs/stub"
mount --bind "$work/stubs/stub" "$(command -v udevadm)"
mount --bind "$work/stubs/stub" "$(command -v modprobe)"
# A copy of the rule already installed by a package would make the helper skip the copy.
[ -d /usr/lib/udev/rules.d ] && mount -t tmpfs none /usr/lib/udev/rules.d
mkdir -p /etc/udev/rules.d /etc/modules-load.d
helper=$work/usr/libexec/glidemark/glidemark-install-access
share=$work/usr/share/glidemark

planted='ACTION=="add", RUN+="/bin/sh -c '"'"'id > /tmp/planted'"'"'"'
mkdir "$work/user"
printf '%s\n' "$planted" > "$work/user/70-glidemark.rules"
echo uinput > "$work/user/glidemark-uinput.conf"
chown -R 1000 "$work/user"

failures=0
# name | arguments | how the packaged copy is spoiled first | expected: installed rule, or "refused"
while IFS='|' read -r name args spoil expected; do
  install -m 0755 "$data/udev/glidemark-install-access" "$helper"
  install -m 0644 "$data/udev/70-glidemark.rules" "$data/udev/glidemark-uinput.conf" "$share/udev/"
  install -m 0644 "$data/udev/71-glidemark-keyboards.rules" "$share/examples/"
  chmod 0755 "$share/udev"
  rm -f /etc/udev/rules.d/* /etc/modules-load.d/glidemark-uinput.conf "$work/calls"
  eval "$spoil"
  status=0
  # shellcheck disable=SC2086
  env -i PKEXEC_UID=1000 PATH=/usr/bin:/bin "$helper" $args > "$work/out" 2>&1 || status=$?
  if [ "$expected" = refused ]; then
    if [ "$status" -eq 0 ] || [ -n "$(ls -A /etc/udev/rules.d)" ] || [ -e /etc/modules-load.d/glidemark-uinput.conf ] ||
       [ -e "$work/calls" ]; then
      echo "FAIL $name: status $status, wrote or triggered something"; cat "$work/out"; failures=$((failures + 1))
    fi
  elif [ "$status" -ne 0 ] || ! cmp -s "$data/udev/$expected" "/etc/udev/rules.d/$expected" ||
       ! cmp -s "$data/udev/glidemark-uinput.conf" /etc/modules-load.d/glidemark-uinput.conf ||
       ! grep -q 'udevadm trigger' "$work/calls"; then
    echo "FAIL $name: status $status, $expected not installed and applied"; cat "$work/out"; failures=$((failures + 1))
  fi
done <<TABLE
mice||:|70-glidemark.rules
keyboards|keyboards|:|71-glidemark-keyboards.rules
planted rule and list as arguments|$work/user/70-glidemark.rules $work/user/glidemark-uinput.conf|:|refused
planted rule as the only argument|$work/user/70-glidemark.rules|:|refused
planted rule in the packaged place||cp -p "$work/user/70-glidemark.rules" "$share/udev/"|refused
packaged folder open to others||chmod 0777 "$share/udev"|refused
packaged rule a link to a planted one||ln -sf "$work/user/70-glidemark.rules" "$share/udev/"|refused
TABLE
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
