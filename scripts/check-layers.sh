#!/usr/bin/env bash
# The folders depend on each other one way only: app -> report -> scan ->
# defs, ata -> records -> base (sim stands in for the platform beside ata).
# Prints every #include that goes against it and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
  [base]="base"
  [records]="records base"
  [ata]="ata records base"
  [defs]="defs records base"
  [sim]="sim ata records base"
  [scan]="scan defs ata records base"
  [report]="report scan defs ata records base"
)
bad=0
for folder in "${!allowed[@]}"; do
  while IFS=: read -r file line target; do
    dep=${target%%/*}
    if [[ " ${allowed[$folder]} " != *" $dep "* ]]; then
      echo "$file:$line: $folder must not include $target"
      bad=1
    fi
  done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$folder" --include='*.h' --include='*.cpp' |
           sed -E 's/#include "([^"]+)"/\1/')
done
exit $bad
