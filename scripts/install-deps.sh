#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and testing Switchdesk needs on Debian 12, when it is missing.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-svg-dev nlohmann-json3-dev iproute2 nftables procps tshark
          # The shipped firewall rules, checked by the firewalls' own tools (nothing is enabled).
          firewalld ufw
          # The watch's metrics server, and what its tests check it with: a Prometheus server
          # started by the test itself, systemd's unit checker, a notification daemon on a
          # virtual display.
          libmicrohttpd-dev prometheus systemd dunst xvfb dbus
          # The fuzz targets: clang with libFuzzer and its sanitizers.
          clang-14 libclang-rt-14-dev
          # The package test: building the .deb, what it depends on, and its checks.
          dpkg-dev libcap2-bin qt6-qpa-plugins man-db appstream desktop-file-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
$sudo apt-get update -qq
# firewalld is installed only for its offline tool and prometheus only for the tests that start
# one of their own: their services must not start or be enabled, so the machine's firewall and
# ports stay as they were. A policy-rc.d keeps services from starting during the install (when
# the machine has none of its own), and the units are disabled afterwards.
services=()
for p in firewalld prometheus; do
  [[ " ${missing[*]} " == *" $p "* ]] && services+=("$p.service")
done
policy=""
if [ ${#services[@]} -gt 0 ] && [ ! -e /usr/sbin/policy-rc.d ]; then
  policy=/usr/sbin/policy-rc.d
  trap '$sudo rm -f "$policy"' EXIT
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
fi
status=0
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
if [ ${#services[@]} -gt 0 ] && command -v systemctl >/dev/null; then
  # The packages enable their units even where systemd is not running now; undo that, and stop
  # the services where they did start.
  $sudo systemctl disable "${services[@]}" >/dev/null 2>&1 || true
  [ -d /run/systemd/system ] && { $sudo systemctl stop "${services[@]}" >/dev/null 2>&1 || true; }
fi
exit $status
