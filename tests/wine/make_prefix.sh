#!/usr/bin/env bash
# Creates the Wine prefix for the Windows tests (once; later runs reuse it)
# and writes the registry keys the wrapper tests read.
# Usage: make_prefix.sh PREFIX WINE_LOADER
set -euo pipefail
prefix=$1
wine=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$wine
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
test -f "$prefix/system.reg"
"$wine" reg add 'HKLM\Software\MesUpdateTest' /v Text /t REG_SZ /d 'テスト値' /f >/dev/null
"$wine" reg add 'HKLM\Software\MesUpdateTest\Sub' /v Number /t REG_DWORD /d 42 /f >/dev/null
"$wine" reg add 'HKLM\Software\MesUpdateTest' /v Text /t REG_SZ /d 'テスト値' /f /reg:32 >/dev/null
"$wine" reg add 'HKLM\Software\MesUpdateTest\Sub' /v Number /t REG_DWORD /d 42 /f /reg:32 >/dev/null
wineserver -w
