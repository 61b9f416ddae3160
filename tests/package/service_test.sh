#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The watch's service unit as the package ships it, checked offline (systemd need not run):
#   - `systemd-analyze verify` accepts it, with ExecStart pointed at the built switchdesk-cli
#     (verify wants the program to exist);
#   - `systemd-analyze security --offline=true` rates it, printed for the record, and its
#     overall exposure stays at or below the threshold;
#   - it asks for no more than it needs: CAP_NET_RAW alone, a dynamic user, its state folder;
#   - nothing enables or starts it: the package's maintainer scripts never name systemctl.
#
# usage: service_test.sh UNIT SWITCHDESK_CLI MAINTAINER_SCRIPT_DIR THRESHOLD
set -euo pipefail

unit=$1 cli=$2 scripts=$3 threshold=$4
passed=0
fail() { echo "FAIL: $*" >&2; echo "$passed passed, 1 failed"; exit 1; }
ok() { passed=$((passed + 1)); echo "ok: $*"; }

command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing: skipped"; exit 77; }
tmp=$(mktemp -d /tmp/switchdesk-service-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
name=$(basename "$unit")
copy=$tmp/$name

exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
program=${exec_start%% *}
[ "$(basename "$program")" = switchdesk-cli ] || fail "ExecStart runs $program"
[[ "$exec_start" == *" watch "* ]] || fail "ExecStart is not the watch: $exec_start"
sed "s|^ExecStart=$program |ExecStart=$cli |" "$unit" >"$copy"
grep -q "^ExecStart=$cli watch" "$copy" || fail "ExecStart was not pointed at $cli"

# Offline: the unit files of this machine, no manager; its manual page is looked for with `man -w`
# by the package test, where the package is installed.
out=$(systemd-analyze verify --man=no "$copy" 2>&1) || { echo "$out"; fail "systemd-analyze verify refused $name"; }
[ -z "$out" ] || { echo "$out"; fail "systemd-analyze verify warned about $name"; }
ok "systemd-analyze verify accepts $name"

security=$(systemd-analyze security --no-pager --offline=true "$copy" 2>&1) || true
echo "$security"
summary=$(grep -E '^→ Overall exposure level for' <<<"$security" || true)
[ -n "$summary" ] || fail "systemd-analyze security gave no overall exposure"
score=$(sed -E 's/.*: ([0-9]+\.[0-9]+) .*/\1/' <<<"$summary")
awk -v s="$score" -v t="$threshold" 'BEGIN { exit !(s <= t) }' || fail "exposure $score is above $threshold"
ok "systemd-analyze security: ${summary#→ }"

value() { sed -n "s/^$1=//p" "$unit"; }
[ "$(value AmbientCapabilities)" = CAP_NET_RAW ] || fail "AmbientCapabilities=$(value AmbientCapabilities)"
[ "$(value CapabilityBoundingSet)" = CAP_NET_RAW ] || fail "CapabilityBoundingSet=$(value CapabilityBoundingSet)"
[ "$(value DynamicUser)" = yes ] || fail "no DynamicUser"
[ "$(value StateDirectory)" = switchdesk ] || fail "StateDirectory=$(value StateDirectory)"
[ "$(value Environment)" = SWITCHDESK_CONFIG_DIR=/var/lib/switchdesk ] || fail "Environment=$(value Environment)"
[ "$(value ExecReload)" = '/bin/kill -HUP $MAINPID' ] || fail "ExecReload=$(value ExecReload)"
[ -z "$(value KillSignal)" ] || fail "KillSignal=$(value KillSignal): SIGTERM stops the watch"
ok "CAP_NET_RAW alone, a dynamic user, /var/lib/switchdesk as its settings folder, SIGHUP reloads"

found=0
for script in "$scripts"/*; do
  [ -f "$script" ] || continue
  found=$((found + 1))
  ! grep -Eq 'systemctl|deb-systemd|invoke-rc\.d|/etc/systemd|switchdesk-watch' "$script" ||
    fail "$(basename "$script") enables or starts a service"
done
[ "$found" -gt 0 ] || fail "no maintainer scripts in $scripts"
ok "no maintainer script enables or starts $name ($found looked at)"

echo
echo "$passed passed, 0 failed"
