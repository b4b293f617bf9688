#!/usr/bin/env bash
# Builds the win32 preset's shipped programs a second time, from a copy of the
# source in another folder and without ccache, and checks that mesupdate.exe
# and mesarc.exe come out byte for byte as in build/win32/bin; also that
# neither carries a link time or a build folder's name, and that the updater
# links nothing that starts threads.
# Usage: tests/release/reproducible.sh [BIN_DIR]   (default build/win32/bin)
# Ends with "reproducible: N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
first=${1:-$root/build/win32/bin}
programs=(mesupdate.exe mesarc.exe)
suite=reproducible
source "$root/tests/release/check_lib.sh"

for program in "${programs[@]}"; do
  if [ ! -f "$first/$program" ]; then
    echo "FAIL $first/$program is missing: build the win32 preset first"
    failed=$((failed + 1))
  fi
done
[ "$failed" -eq 0 ] || finish

work=$(mktemp -d /tmp/mesupdate-again.XXXXXX)
trap 'rm -rf "$work"' EXIT
copy=$work/elsewhere/mesupdate
mkdir -p "$copy"
# The files git would commit from this working tree: tracked and new ones.
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf -) | tar -C "$copy" -xf -

# The copy has no history: it is told the commit the first build names.
MES_SOURCE_COMMIT=$(git -C "$root" rev-parse HEAD)
git -C "$root" diff --quiet HEAD -- || MES_SOURCE_COMMIT=$MES_SOURCE_COMMIT-modified
export MES_SOURCE_COMMIT

echo "== second build in $copy"
if ! (cd "$copy" && export CCACHE_DISABLE=1 &&
      cmake --preset win32 >"$work/configure.log" 2>&1 &&
      cmake --build --preset win32 --target mes_product >"$work/build.log" 2>&1); then
  tail -30 "$work/configure.log" "$work/build.log"
  check "second build of the win32 preset" false
  finish
fi
second=$copy/build/win32/bin

same_bytes() { cmp -s "$1" "$2"; }
# The COFF header's TimeDateStamp, 4 bytes after the "PE\0\0" signature + 4.
no_link_time() {
  local pe_offset
  pe_offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -tu4 -j$((pe_offset + 8)) -N4 "$1" | tr -d ' ')" = 0 ]
}
no_folder_names() { ! grep -q -a -e "$root" -e "$work" "$1"; }
# The updater starts no threads, so nothing that starts one may be linked in.
no_thread_imports() {
  ! i686-w64-mingw32-objdump -p "$1" | grep -q -E '_beginthread|CreateThread|pthread'
}

for program in "${programs[@]}"; do
  check "$program identical across builds ($(sha256sum <"$first/$program" | cut -c1-16)...)" \
    same_bytes "$first/$program" "$second/$program"
  check "$program has no link time in its PE header" no_link_time "$first/$program"
  check "$program names no build folder" no_folder_names "$second/$program"
done
check "mesupdate.exe imports nothing that starts a thread" no_thread_imports "$first/mesupdate.exe"
bash "$root/scripts/exe_figures.sh" "$first/mesupdate.exe" "$first/mesarc.exe"
finish
