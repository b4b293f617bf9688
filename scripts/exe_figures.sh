#!/usr/bin/env bash
# Prints one line of figures for each Windows program named: its size, the
# number of functions it imports and its SHA-256. The README quotes none of
# them: they change with every release, so BUILDINFO and the reproducible-build
# check print them.
# Usage: scripts/exe_figures.sh PROGRAM.exe...
set -euo pipefail
for program in "$@"; do
  size=$(stat -c %s "$program")
  # objdump -p lists each import under its DLL as "<vma> <hint> <name>" lines.
  imports=$(i686-w64-mingw32-objdump -p "$program" |
    awk '/DLL Name:/ {in_dll = 1; next} /^$/ {in_dll = 0}
         in_dll && /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_]/ {n++} END {print n + 0}')
  digest=$(sha256sum <"$program" | cut -d' ' -f1)
  echo "$(basename "$program"): $size bytes, $imports imports, sha256 $digest"
done
