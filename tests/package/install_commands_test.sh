#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's test command runs the README's Install commands as they are written: every
# command of the Install section that builds (cmake, cpack) is a line of scripts/test.sh, so
# that a Release build or a package that fails cannot land.
#
# usage: install_commands_test.sh SOURCE_DIR
set -euo pipefail
source=${1:?usage: install_commands_test.sh SOURCE_DIR}

# The indented lines of the Install section (its code block) that run cmake or cpack.
mapfile -t commands < <(sed -n '/^## Install$/,/^## /p' "$source/README.md" |
  sed -n 's/^    \(\(cmake\|cpack\) .*\)$/\1/p')
[ ${#commands[@]} -ge 3 ] || { echo "FAIL: README.md's Install section shows ${#commands[@]} build commands"; exit 1; }
status=0
for c in "${commands[@]}"; do
  if grep -qxF -- "$c" "$source/scripts/test.sh"; then
    echo "ok: scripts/test.sh runs: $c"
  else
    echo "FAIL: scripts/test.sh does not run README.md's install command: $c"
    status=1
  fi
done
exit $status
