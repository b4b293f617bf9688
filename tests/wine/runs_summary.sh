#!/usr/bin/env bash
# Says what the Windows tests really executed, from the message-box driver's
# log of every program it started (MES_RUN_LOG: "<pe32|pe32+> <wow64 0|1> <exe>").
# With the win32 build, every start of mesupdate.exe must have been the 32-bit
# image running as 32-bit code, and there must have been some.
# Usage: runs_summary.sh RUN_LOG PRESET WINE32_MODE SHIPPED_EXE
# Ends with "windows-runs: N passed, M failed".
set -uo pipefail
log=$1 preset=$2 mode=$3 shipped=$4

runs=0 runs_32=0
if [ -f "$log" ]; then
  runs=$(grep -c '[\\/]mesupdate\.exe$' "$log")
  runs_32=$(grep -c '^pe32 1 .*[\\/]mesupdate\.exe$' "$log")
fi
digest=$(sha256sum <"$shipped" | cut -c1-16)
kind=$(file -b "$shipped" | cut -d, -f1)

if [ "$preset" != win32 ]; then
  echo "the Windows tests ran the 64-bit build's mesupdate.exe $runs times ($kind):" \
    "Wine could start no 32-bit program here, so the shipped 32-bit build ran in no test"
  echo "windows-runs: 1 passed, 0 failed"
  exit 0
fi
how=natively
[ "$mode" = qemu ] && how="under qemu-user"
echo "the Windows tests ran the shipped 32-bit mesupdate.exe $runs times, $runs_32 of them as" \
  "32-bit code, Wine's 32-bit loader $how ($kind, sha256 $digest...)"
if [ "$runs" -gt 0 ] && [ "$runs" -eq "$runs_32" ]; then
  echo "windows-runs: 1 passed, 0 failed"
else
  echo "FAIL some runs were not the 32-bit program, or none was logged"
  echo "windows-runs: 0 passed, 1 failed"
  exit 1
fi
