#!/usr/bin/env bash
# Installs what building and testing Switchdesk needs on Debian 12, when it is missing.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-svg-dev iproute2 nftables procps tshark
          # The shipped firewall rules, checked by the firewalls' own tools (nothing is enabled).
          firewalld ufw
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
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
