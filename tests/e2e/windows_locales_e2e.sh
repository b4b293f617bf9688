#!/usr/bin/env bash
# The Windows build under Wine on systems of three ANSI code pages: for each
# install folder (Japanese with a 0x5C trail byte, one Shift-JIS cannot hold,
# plain ASCII) the registry value is written under ja_JP.UTF-8, then the
# updater runs under en_US.UTF-8 (1252), ru_RU.UTF-8 (1251) and ja_JP.UTF-8
# (932), is answered Yes and must rebuild the archive. The updater itself runs
# from a folder Shift-JIS cannot name, so its caption comes through a short name.
# One Wine prefix (made anew in the build folder) and one Xvfb display serve
# every scenario; mbdriver.exe reports and answers the boxes.
# Usage: windows_locales_e2e.sh WIN_BIN_DIR NATIVE_BIN_DIR
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 WIN_BIN_DIR NATIVE_BIN_DIR" >&2
  exit 2
fi
win_bin=$(cd "$1" && pwd) || exit 2
fixture=$(cd "$2" && pwd)/archive_fixture
resources=$(cd "$(dirname "$0")/../../resources" && pwd)
for tool in "$win_bin/mesupdate.exe" "$win_bin/mbdriver.exe" "$fixture"; do
  [ -f "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done

work=$(dirname "$win_bin")/e2e-locales
export WINEPREFIX=$(dirname "$win_bin")/e2e-locales-prefix
. "$(dirname "$0")/wine_lib.sh"
trap stop_wine_and_display EXIT
trap 'exit 130' INT TERM HUP

setup() {
  rm -rf "$work"
  mkdir -p "$work"
  start_xvfb || { echo "cannot start Xvfb" >&2; exit 1; }
  make_wine_prefix
  "$wineserver" -p30
  "$wine_tool" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  # The updater runs from a folder whose name Shift-JIS cannot hold.
  updater_dir="$work/更新 Café"
  mkdir -p "$updater_dir"
  cp "$win_bin/mesupdate.exe" "$updater_dir/"
}


source "$(dirname "$0")/scenario_lib.sh"
TAB=$'\t'
CONFIRM="BOX${TAB}mesupdate${TAB}「ミルカナ」のシステムファイルをアップデートします。\\n※「ミルカナ」を起動している場合は、終了させておいてください\\nよろしいですか。${TAB}yesno${TAB}question"
DONE="BOX${TAB}mesupdate${TAB}「ミルカナ」のシステムが無事更新されました。${TAB}ok${TAB}warning"

make_archive() {
  "$fixture" make "$1" SYSTEM.MES:1200 T27C.MES:5000 C_TALK01.MES:777 T09C.MES:64 EMPTY.MES:0 \
    T13B.MES:4095 C_TALK02.MES:300 START.MES:10000 END.MES:99 OPENING.MES:8000
}

# scenario LOCALE WINDOWS_SUBDIR HOST_SUBDIR: the updater, run under LOCALE,
# answered Yes, updates the archive in C:\WINDOWS_SUBDIR.
scenario() {
  local locale=$1 game=$WINEPREFIX/drive_c/$3
  local name="$locale ${3}" old=$work/old.arc
  scenario_ok=1
  rm -rf "$game"
  mkdir -p "$game"
  make_archive "$game/mes.arc"
  cp "$game/mes.arc" "$old"
  LANG=$locale LC_ALL=$locale timeout 180 "$wine" "$win_bin/mbdriver.exe" --timeout 90 \
    "$(winpath "$updater_dir/mesupdate.exe")" yes </dev/null >"$work/driver.out" 2>"$work/driver.err"
  local driver_rc=$? out expected
  out=$(tr -d '\r' <"$work/driver.out")
  expected=$(printf '%s\n' "$CONFIRM" "$DONE" "EXIT${TAB}1")
  if [ "$out" != "$expected" ] || [ "$driver_rc" != 0 ]; then
    report_mismatch "$name" "driver status $driver_rc, records were:" "$out" "$expected"
  fi
  check "$name" "archive not updated correctly" \
    "$fixture" verify-update "$old" "$game/mes.arc" "$resources"
  check "$name" "files left beside the archive" test "$(ls -A "$game")" = mes.arc
  finish "$name"
}

setup
while IFS='|' read -r windows host; do
  set_install_path "C:\\$windows"
  for locale in en_US.UTF-8 ru_RU.UTF-8 ja_JP.UTF-8; do
    scenario "$locale" "$windows" "$host"
  done
done <<'EOF'
Program Files\ゲーム表示|Program Files/ゲーム表示
Spiele\Café Mirkan|Spiele/Café Mirkan
Games\Mirkan|Games/Mirkan
EOF

echo "e2e-windows-locales: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
