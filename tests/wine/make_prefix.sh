#!/usr/bin/env bash
# Creates the Wine prefix for the Windows tests (once; later runs reuse it)
# and writes the registry keys the wrapper tests read. A copy of the test
# run's template prefix ($MES_WINE_TEMPLATE) when there is one.
# Usage: make_prefix.sh PREFIX WINE_LOADER
set -euo pipefail
prefix=$1
wine=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$wine
source "$(dirname "$0")/../e2e/wine_lib.sh"
wine=$2
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  make_wine_prefix
fi
"$wine_tool" reg add 'HKLM\Software\MesUpdateTest' /v Text /t REG_SZ /d 'テスト値' /f >/dev/null
"$wine_tool" reg add 'HKLM\Software\MesUpdateTest\Sub' /v Number /t REG_DWORD /d 42 /f >/dev/null
"$wine_tool" reg add 'HKLM\Software\MesUpdateTest' /v Text /t REG_SZ /d 'テスト値' /f /reg:32 >/dev/null
"$wine_tool" reg add 'HKLM\Software\MesUpdateTest\Sub' /v Number /t REG_DWORD /d 42 /f /reg:32 >/dev/null
wineserver -w
