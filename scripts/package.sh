#!/usr/bin/env bash
# Builds the Debian package in the default build tree, checks it with lintian
# (errors fail, warnings are allowed; the package needs no overrides),
# installs it with dpkg, checks that the files are where they belong and that
# both programs run, and removes it again so the machine stays as it was.
# Needs root (or sudo) for apt-get and dpkg. The .deb is left in build/default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# lintian checks the package, rsvg-convert renders the PNG icons,
# desktop-file-validate checks the desktop entry, file the icon sizes.
missing=()
for p in lintian librsvg2-bin desktop-file-utils file; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

echo "== building the package =="
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target glidemark glidemarkctl glidemark_install_files
rm -f build/default/glidemark_*.deb
(cd build/default && cpack -G DEB)
deb=$(ls build/default/glidemark_*.deb)

echo "== checking $deb =="
desktop-file-validate data/glidemark.desktop
lintian --fail-on error --tag-display-limit 0 --info "$deb"

echo "== installing it =="
# A copy installed before this run is upgraded in place and left installed.
installed_before=false
if dpkg-query -W -f='${Status}' glidemark 2>/dev/null | grep -q 'install ok installed'; then
  installed_before=true
fi
cleanup() { $installed_before || $sudo dpkg --purge glidemark >/dev/null 2>&1 || true; }
trap cleanup EXIT
if ! $sudo dpkg -i "$deb"; then
  # dpkg leaves the package unconfigured when a dependency is missing.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -f -y -qq --no-install-recommends
fi

expected=(
  /usr/bin/glidemark
  /usr/bin/glidemarkctl
  /usr/share/applications/glidemark.desktop
  /usr/share/icons/hicolor/scalable/apps/glidemark.svg
  /usr/lib/udev/rules.d/70-glidemark.rules
  /usr/lib/modules-load.d/glidemark-uinput.conf
  /usr/libexec/glidemark/glidemark-install-access
  /usr/share/glidemark/udev/70-glidemark.rules
  /usr/share/glidemark/udev/glidemark-uinput.conf
  /usr/share/glidemark/examples/71-glidemark-keyboards.rules
  /usr/share/polkit-1/actions/org.glidemark.install-access.policy
  /usr/share/man/man1/glidemark.1.gz
  /usr/share/man/man1/glidemarkctl.1.gz
  /usr/share/doc/glidemark/copyright
  /usr/share/doc/glidemark/changelog.gz
  /usr/share/gnome-shell/extensions/glidemark@glidemark.org/extension.js
  /usr/share/gnome-shell/extensions/glidemark@glidemark.org/metadata.json
  /usr/share/kwin/scripts/glidemark/metadata.json
  /usr/share/kwin/scripts/glidemark/contents/code/main.js
)
for size in 16 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/glidemark.png")
done
status=0
for f in "${expected[@]}"; do
  if [ ! -f "$f" ]; then echo "missing: $f" >&2; status=1; fi
done
# Keyboard access is the user's choice: the package must never put that rule to work.
for f in /usr/lib/udev/rules.d/71-glidemark-keyboards.rules /etc/udev/rules.d/71-glidemark-keyboards.rules; do
  if [ -e "$f" ]; then echo "installed without opt-in: $f" >&2; status=1; fi
done
for size in 16 24 32 48 64 128 256; do
  file "/usr/share/icons/hicolor/${size}x${size}/apps/glidemark.png" | grep -q "PNG image data, $size x $size" ||
    { echo "wrong icon size: ${size}x${size}" >&2; status=1; }
done
desktop-file-validate /usr/share/applications/glidemark.desktop
version=$(sed -n 's/^project(Glidemark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Without a display: --version must not need one.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/glidemark --version)
[ "$out" = "glidemark $version" ] || { echo "glidemark --version printed: $out" >&2; status=1; }
out=$(/usr/bin/glidemarkctl --version)
[ "$out" = "glidemarkctl $version" ] || { echo "glidemarkctl --version printed: $out" >&2; status=1; }
/usr/bin/glidemark --help | grep -q '^Usage: glidemark' || { echo "glidemark --help" >&2; status=1; }
zcat /usr/share/man/man1/glidemark.1.gz | grep -q '^\.TH GLIDEMARK 1' || { echo "glidemark(1)" >&2; status=1; }
zcat /usr/share/man/man1/glidemarkctl.1.gz | grep -q '^\.TH GLIDEMARKCTL 1' || { echo "glidemarkctl(1)" >&2; status=1; }

if ((status == 0)); then
  echo "== the package is complete =="
fi
exit "$status"
