#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One version everywhere: the CMake project's VERSION is the one the built program prints
# (switchdesk-cli --version, as the About box, from the same generated header), the package
# cpack makes, the manual pages, the AppStream metainfo's newest release and the package file
# name in README.md's Install section.
#
# usage: version_test.sh VERSION BUILD_DIR SOURCE_DIR CLI
set -euo pipefail
version=${1:?usage: version_test.sh VERSION BUILD_DIR SOURCE_DIR CLI}
build=${2:?} source=${3:?} cli=${4:?}

status=0
check() {  # check WHAT FOUND
  if [ "$2" = "$version" ]; then
    echo "ok: $1 says $version"
  else
    echo "FAIL: $1 says '$2', the project's version is $version"
    status=1
  fi
}

config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
check "switchdesk-cli --version" \
  "$(SWITCHDESK_CONFIG_DIR=$config "$cli" --version | sed -n 's/^switchdesk-cli: Switchdesk Version //p')"
check "the package (CPackConfig.cmake)" \
  "$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
for page in "$build"/packaging/*.1; do
  check "$(basename "$page")" "$(sed -n 's/^\.TH .* "Switchdesk \([^"]*\)" .*/\1/p' "$page")"
done
for metainfo in "$build"/packaging/*.metainfo.xml; do
  [ -f "$metainfo" ] || continue  # built without the window
  check "$(basename "$metainfo")" \
    "$(grep -m1 -o '<release version="[^"]*"' "$metainfo" | sed 's/.*version="\(.*\)"/\1/')"
done
check "README.md's package file" \
  "$(sed -n 's|^ *sudo apt install \./build-release/package/switchdesk_\([^_]*\)_amd64\.deb$|\1|p' "$source/README.md")"
exit $status
