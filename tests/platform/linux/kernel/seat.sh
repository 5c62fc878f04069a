#!/bin/sh
# Makes a throw-away machine (scripts/vm-run.sh) look like a desktop seat to
# the package's udev rule: a user "gmseat", the rule installed as the package
# installs it, and a stand-in for logind's uaccess ACLs (there is no login
# session here), which gives that user the nodes the rule tags and nothing else.
# Usage: seat.sh RULES_FILE
set -eu
[ "${GLIDEMARK_VM:-}" = 1 ] || { echo "seat.sh changes udev rules and users: only inside scripts/vm-run.sh" >&2; exit 2; }
id gmseat >/dev/null 2>&1 || useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin gmseat
install -m 0644 "$1" /etc/udev/rules.d/70-glidemark.rules
cat > /etc/udev/rules.d/99-glidemark-test-seat.rules <<'RULE'
ACTION!="remove", TAG=="uaccess", ENV{DEVNAME}=="?*", GROUP="gmseat", MODE="0660"
RULE
udevadm control --reload-rules
udevadm trigger --action=change --subsystem-match=input --subsystem-match=misc
udevadm settle --timeout=30
