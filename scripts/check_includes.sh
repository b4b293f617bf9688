#!/usr/bin/env bash
# Checks that includes only point down the layers of docs/architecture.md:
# a file in a folder may include from that folder and the ones before it in
# the order below, never from one after it. Prints every include that points
# up, then one line "include-direction: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."

# The backends sit inside platform/ but below the frame: a path is placed by
# the longest folder of this list it starts with.
layers=(os platform/win32 platform/posix platform/memory app platform archive updater tools)

# The layer of a path (a file or an include), or -1 outside the layers.
rank() {
  local i found=-1 length=0
  for i in "${!layers[@]}"; do
    case "$1/" in
      "${layers[$i]}"/*)
        [ ${#layers[$i]} -gt "$length" ] && { found=$i; length=${#layers[$i]}; } ;;
    esac
  done
  echo "$found"
}

bad=0
while IFS= read -r hit; do
  own=$(rank "${hit%%:*}")
  target=$(sed -E 's/.*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$hit")
  if [ "$(rank "$target")" -gt "$own" ]; then
    echo "points up: $hit"
    bad=$((bad + 1))
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' os app platform archive \
           updater tools --include='*.h' --include='*.cpp' --include='*.inc' || true)

if [ "$bad" -eq 0 ]; then
  echo "include-direction: 1 passed, 0 failed"
else
  echo "include-direction: 0 passed, 1 failed ($bad includes point up)"
  exit 1
fi
