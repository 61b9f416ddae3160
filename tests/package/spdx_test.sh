#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file names its licence in its first line (the second, after a #! line), so a
# file added without it is caught before it lands.
#
# usage: spdx_test.sh SOURCE_DIR
set -euo pipefail
source=${1:?usage: spdx_test.sh SOURCE_DIR}
cd "$source"
tag='SPDX-License-Identifier: GPL-3.0-or-later'
status=0
checked=0
while IFS= read -r -d '' f; do
  checked=$((checked + 1))
  first=$(head -n 1 "$f")
  [[ $first == '#!'* ]] && first=$(sed -n 2p "$f")
  if [[ $first != *"$tag"* ]]; then
    echo "FAIL: $f does not start with '$tag'"
    status=1
  fi
done < <(find src tests tools bench fuzz scripts packaging .ci -type f \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.h.in' -o -name '*.sh' -o -name 'CMakeLists.txt' \
     -o -name '*.cmake' -o -name run -o -name postinst.in -o -path '*/bash-completion/*' \) -print0)
for f in CMakeLists.txt; do
  checked=$((checked + 1))
  [[ $(head -n 1 "$f") == *"$tag"* ]] || { echo "FAIL: $f does not start with '$tag'"; status=1; }
done
echo "$checked files checked"
exit $status
