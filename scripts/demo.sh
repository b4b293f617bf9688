#!/usr/bin/env bash
# Builds the Linux updater, makes a sample Wine-style installation under
# build/demo/ and updates it: the archive is listed before and after.
# Usage: scripts/demo.sh [--yes]    (--yes answers the question for you)
set -euo pipefail
cd "$(dirname "$0")/.."

answer_for_you=0
[ "${1:-}" = "--yes" ] && answer_for_you=1

# A compiler, CMake and CLI11: installed through apt when run as root.
bash scripts/install_deps.sh demo

# Its own build folder without the tests, so that GoogleTest is not needed.
echo "Building (native-release, without tests, in build/demo-release)..."
cmake --preset native-release -B build/demo-release -DMES_BUILD_TESTS=OFF >/dev/null
cmake --build build/demo-release --target mesupdate mesarc -j 2 >/dev/null
bin=$PWD/build/demo-release/bin

demo=$PWD/build/demo
prefix=$demo/prefix
game=$prefix/drive_c/Games/Mirkan
rm -rf "$demo"
mkdir -p "$game" "$prefix/dosdevices" "$demo/entries"
ln -s ../drive_c "$prefix/dosdevices/c:"

# The registry as Wine keeps it: the game's folder under the key a 32-bit
# program reads in a 32-bit prefix.
cat >"$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win32

[Software\\velk\\MIRKAN] 1733550000
#time=1db48a1f2c3d4e5
"InstPath"="C:\\Games\\Mirkan"
REG

# A few dozen message files, two of them among the five the update replaces.
order=$demo/order.txt
: >"$order"
for i in $(seq -w 1 30); do
  name=T${i}A.MES
  [ "$i" = 09 ] && name=T09C.MES
  [ "$i" = 27 ] && name=T27C.MES
  { printf 'sample message file %s\n' "$name"; seq 1 $((10#$i * 40)); } >"$demo/entries/$name"
  echo "$name" >>"$order"
done
"$bin/mesarc" pack "$demo/entries" -o "$game/mes.arc" --order "$order"

echo
echo "== $game/mes.arc before the update"
"$bin/mesarc" list "$game/mes.arc"
echo

status=0
if [ "$answer_for_you" = 1 ]; then
  echo y | WINEPREFIX=$prefix "$bin/mesupdate" || status=$?
else
  WINEPREFIX=$prefix "$bin/mesupdate" || status=$?
fi
echo "(exit code $status)"

echo
echo "== $game/mes.arc after the update"
"$bin/mesarc" list "$game/mes.arc"
