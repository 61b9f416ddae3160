#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a folder of src/ includes a project header from a folder it may not stand on, or
# when the toolkit-free folders include a Qt header. The table is the one docs/ARCHITECTURE.md
# draws; change both together.
set -euo pipefail
src=${1:?usage: check_layers.sh SRC_DIR}

declare -A allowed=(
  [common]="common"
  [protocol]="protocol settings"
  [settings]="settings protocol common devices/list_control.h devices/column_sort.h"
  [devices]="devices settings protocol common"
  [net]="net devices settings protocol common"
  [operations]="operations net devices settings protocol common"
  [app]="app operations net devices settings protocol common"
  [cli]="cli app operations net devices settings protocol common"
  [window]="window app operations net devices settings protocol common"
)
toolkit_free="common protocol settings devices net operations app cli"

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$src/$folder" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    header=$(sed -n 's/.*#include "\([^"]*\)".*/\1/p' <<<"${line#*:}")
    top=${header%%/*}
    [ "$top" = "$header" ] && continue  # a header beside the source, or a generated one
    ok=0
    for a in ${allowed[$folder]}; do
      if [ "$a" = "$top" ] || [ "$a" = "$header" ]; then ok=1; break; fi
    done
    if [ $ok -eq 0 ]; then
      echo "${file#$src/}: $folder/ may not include \"$header\""
      status=1
    fi
  done < <(grep -rHn '^#include "' "$src/$folder" --include='*.h' --include='*.cpp' || true)
done
for folder in $toolkit_free; do
  if hits=$(grep -rHn -E '^#include <Q' "$src/$folder" --include='*.h' --include='*.cpp'); then
    echo "$hits" | sed "s#^$src/##; s#\$#  (a Qt header in a toolkit-free folder)#"
    status=1
  fi
done
[ $status -eq 0 ] && echo "every include follows the layers"
exit $status
