#!/usr/bin/env bash
# Checks that includes only point down the layers of docs/architecture.md:
# a file in a folder may include from that folder and the ones before it in
# the order below, never from one after it. Prints every include that points
# up, then one line "include-direction: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."

layers=(os app platform archive updater tools)

rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

bad=0
for folder in "${layers[@]}"; do
  own=$(rank "$folder")
  while IFS= read -r hit; do
    target=$(sed -E 's/.*#[[:space:]]*include[[:space:]]+"([^/"]+)\/.*/\1/' <<<"$hit")
    target_rank=$(rank "$target")
    if [ "$target_rank" -gt "$own" ]; then
      echo "points up: $hit"
      bad=$((bad + 1))
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' "$folder" \
             --include='*.h' --include='*.cpp' --include='*.inc' || true)
done

if [ "$bad" -eq 0 ]; then
  echo "include-direction: 1 passed, 0 failed"
else
  echo "include-direction: 0 passed, 1 failed ($bad includes point up)"
  exit 1
fi
