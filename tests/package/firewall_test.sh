#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped firewall rules, checked by the firewalls' own tools without touching this
# machine's firewall: firewall-offline-cmd reads the firewalld service from a copy of firewalld's
# default configuration, and `ufw app info` the ufw profile from a copy of ufw's files (both in a
# private folder). Both must open exactly the UDP ports the manager listens on with the default
# settings (base port, base + 1, base + 6), and both must refuse a broken copy, which shows that
# they really read the files. Exits 77 (skipped) when a tool is missing or without root (ufw
# reads only root's files), unless SWITCHDESK_REQUIRE_LAB is set.
set -euo pipefail

source_dir=${1:?usage: firewall_test.sh SOURCE_DIR WORK_DIR}
work_parent=${2:?usage: firewall_test.sh SOURCE_DIR WORK_DIR}
readonly SKIPPED=77

skip() {
  if [ -n "${SWITCHDESK_REQUIRE_LAB:-}" ]; then echo "firewall test: $*" >&2; exit 1; fi
  echo "firewall test: skipped: $*"
  exit $SKIPPED
}
fail() { echo "firewall test: $*" >&2; exit 1; }

command -v firewall-offline-cmd >/dev/null || skip "firewall-offline-cmd (Debian package firewalld) is missing"
command -v ufw >/dev/null || skip "ufw (Debian package ufw) is missing"
[ "$(id -u)" -eq 0 ] || skip "ufw reads its profiles only as root"

# The ports of the default settings.
base_hex=$(sed -n 's/^base_port=//p' "$source_dir/cfg/define.txt")
base=$((16#$base_hex))
expected="$base/udp $((base + 1))/udp $((base + 6))/udp"

# ufw refuses profiles below a folder anyone can write to (such as /tmp): a private folder
# below the build folder.
work=$(mktemp -d "$work_parent/firewall-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

# firewalld: its default configuration with the service added, and a system configuration of
# its own, so that nothing under /etc/firewalld is read or written.
firewalld_ports() {
  firewall-offline-cmd --default-config "$work/firewalld" --system-config "$work/firewalld-system" \
    --info-service=switchdesk 2>"$work/firewalld.err" | sed -n 's/^ *ports: *//p'
}
cp -a /usr/lib/firewalld "$work/firewalld"
mkdir "$work/firewalld-system"
[ -f /etc/firewalld/firewalld.conf ] && cp /etc/firewalld/firewalld.conf "$work/firewalld-system/"
cp "$source_dir/packaging/firewall/switchdesk.xml" "$work/firewalld/services/switchdesk.xml"
ports=$(firewalld_ports) || fail "firewall-offline-cmd refused the service: $(cat "$work/firewalld.err")"
[ "$ports" = "$expected" ] || fail "firewalld service ports '$ports', expected '$expected'"
sed 's/port="[0-9]*"/port="none"/' "$source_dir/packaging/firewall/switchdesk.xml" >"$work/firewalld/services/switchdesk.xml"
if firewalld_ports >/dev/null; then fail "firewall-offline-cmd took a service with an invalid port"; fi

# ufw: its configuration and helpers under a root of its own.
ufw_ports() {
  ufw --rootdir="$work/ufw" --datadir="$work/ufw" app info switchdesk 2>"$work/ufw.err" |
    sed -n '/^Ports:/,$p' | sed -n 's/^ *//p' | tail -n +2
}
mkdir -p "$work/ufw/etc/default" "$work/ufw/lib"
cp -a /etc/ufw "$work/ufw/etc/ufw"
cp /etc/default/ufw "$work/ufw/etc/default/ufw"
cp -a /lib/ufw "$work/ufw/lib/ufw"
cp "$source_dir/packaging/firewall/switchdesk.ufw" "$work/ufw/etc/ufw/applications.d/switchdesk"
ports=$(ufw_ports) || fail "ufw refused the profile: $(cat "$work/ufw.err")"
[ "$ports" = "$base,$((base + 1)),$((base + 6))/udp" ] || fail "ufw profile ports '$ports', expected $expected"
sed 's/^ports=.*/ports=none\/udp/' "$source_dir/packaging/firewall/switchdesk.ufw" >"$work/ufw/etc/ufw/applications.d/switchdesk"
if ufw_ports >/dev/null && [ -n "$(ufw_ports)" ]; then fail "ufw took a profile with invalid ports"; fi

echo "firewall test: the firewalld service and the ufw profile open $expected"
