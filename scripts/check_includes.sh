#!/usr/bin/env bash
# Checks that includes only point down the layers of docs/architecture.md:
# a file in a folder may include from that folder and the ones before it in
# the order below, never from one after it, no backend from another, and
# the frame, the wrappers and the archive code from no backend.
# Prints every include that breaks this, then one line
# "include-direction: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."

# Bottom up. A path is placed by the longest folder of this list it starts with.
layers=(os wineprefix backends/win32 backends/posix backends/memory app platform archive updater
        tools)

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

# The backends share one rank in spirit: each implements os/ on its own, so
# none may include another, whatever their order in the list.
backends=(backends/win32 backends/posix backends/memory)
is_backend() {
  local layer
  for layer in "${backends[@]}"; do
    [ "$1" = "$(rank_of_layer "$layer")" ] && return 0
  done
  return 1
}
rank_of_layer() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

# The frame, the wrappers and the archive code are written against os/ alone:
# which backend serves it is a matter of linking.
backend_free=(app platform archive)
names_backend() {
  local layer
  for layer in "${backend_free[@]}"; do
    [ "$1" = "$(rank_of_layer "$layer")" ] || continue
    [ "$2" = "$(rank_of_layer wineprefix)" ] || is_backend "$2"
    return
  done
  return 1
}

bad=0
while IFS= read -r hit; do
  own=$(rank "${hit%%:*}")
  target=$(sed -E 's/.*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$hit")
  if [ "$(rank "$target")" -gt "$own" ]; then
    echo "points up: $hit"
    bad=$((bad + 1))
  elif is_backend "$own" && is_backend "$(rank "$target")" && [ "$(rank "$target")" != "$own" ]; then
    echo "one backend includes another: $hit"
    bad=$((bad + 1))
  elif names_backend "$own" "$(rank "$target")"; then
    echo "names a backend: $hit"
    bad=$((bad + 1))
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' os wineprefix backends app \
           platform archive updater tools --include='*.h' --include='*.cpp' --include='*.inc' || true)

if [ "$bad" -eq 0 ]; then
  echo "include-direction: 1 passed, 0 failed"
else
  echo "include-direction: 0 passed, 1 failed ($bad includes break the layers)"
  exit 1
fi
