#!/usr/bin/env bash
# End-to-end scenarios for the Windows build under Wine: mbdriver.exe starts
# the updater, reports each message box and answers it; each scenario checks
# the boxes, the exit code and the files left. One Wine prefix (made anew in
# the build folder) and one Xvfb display serve every scenario.
# Usage: windows_e2e.sh WIN_BIN_DIR NATIVE_BIN_DIR
#   WIN_BIN_DIR holds mesupdate.exe and mbdriver.exe, NATIVE_BIN_DIR
#   archive_fixture and mesarc. With MES_SCREENSHOT_DIR set, the success
#   scenario saves confirm.png and complete.png of its two boxes there.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 WIN_BIN_DIR NATIVE_BIN_DIR" >&2
  exit 2
fi
win_bin=$(cd "$1" && pwd) || exit 2
fixture=$(cd "$2" && pwd)/archive_fixture
mesarc=$(cd "$2" && pwd)/mesarc
resources=$(cd "$(dirname "$0")/../../resources" && pwd)
for tool in "$win_bin/mesupdate.exe" "$win_bin/mbdriver.exe" "$fixture" "$mesarc"; do
  [ -f "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done

work=$(dirname "$win_bin")/e2e
export WINEPREFIX=$(dirname "$win_bin")/e2e-prefix
source "$(dirname "$0")/wine_lib.sh"
trap stop_wine_and_display EXIT
trap 'exit 130' INT TERM HUP

setup() {
  rm -rf "$work"
  mkdir -p "$work/marks"
  start_xvfb || { echo "cannot start Xvfb" >&2; exit 1; }
  make_wine_prefix
  # One server for the whole run instead of one per program; it still ends
  # by itself if this script is killed before it can stop it.
  "$wineserver" -p30
  # Wine draws the captions itself: Xvfb has no window manager to do it.
  "$wine_tool" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
}

key='HKLM\SoftWare\velk\MIRKAN'
delete_key() {
  "$wine_tool" reg delete "$key" /f /reg:64 >/dev/null 2>&1
  "$wine_tool" reg delete "$key" /f /reg:32 >/dev/null 2>&1
}

source "$(dirname "$0")/scenario_lib.sh"
TAB=$'\t'
NL=$'\n'
CONFIRM="BOX${TAB}mesupdate${TAB}「ミルカナ」のシステムファイルをアップデートします。\\n※「ミルカナ」を起動している場合は、終了させておいてください\\nよろしいですか。${TAB}yesno${TAB}question"
DONE="BOX${TAB}mesupdate${TAB}「ミルカナ」のシステムが無事更新されました。${TAB}ok${TAB}warning"
NOT_INSTALLED="BOX${TAB}mesupdate${TAB}「ミルカナ」がインストールされていません。${TAB}ok${TAB}information"

# new_game NAME WINDOWS_SUBDIR HOST_SUBDIR: an install folder under C:\ and the
# registry naming it. Sets game (host folder), inst (InstPath), old (a path
# for the archive's copy).
new_game() {
  inst="C:\\$2"
  game=$WINEPREFIX/drive_c/$3
  old=$work/$1.old
  mkdir -p "$game"
  set_install_path "$inst"
}

# Twenty entries, two of them names the update replaces.
make_archive() {
  "$fixture" make "$1" SYSTEM.MES:1200 T27C.MES:5000 C_TALK01.MES:777 T09C.MES:64 EMPTY.MES:0 \
    T10A.MES:3000 T11A.MES:2048 T12A.MES:1 T13B.MES:4095 T14B.MES:4096 T15B.MES:4097 \
    C_TALK02.MES:300 C_TALK03.MES:301 START.MES:10000 END.MES:99 MENU.MES:512 \
    T20C.MES:640 T21C.MES:1280 T22C.MES:17 OPENING.MES:8000
}

# run_driver [DRIVER_OPTION...] -- ANSWER...: sets out (the driver's records)
# and driver_rc. Screenshots named in shots (one per box, in order) are taken
# while the driver holds each box up.
shots=()
run_driver() {
  local options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  local out_file=$work/driver.out
  if [ ${#shots[@]} -gt 0 ]; then
    options+=(--mark-dir "$(winpath "$work/marks")")
  fi
  timeout 180 "$wine" "$win_bin/mbdriver.exe" --timeout 90 "${options[@]}" \
    "$(winpath "$win_bin/mesupdate.exe")" "$@" >"$out_file" 2>"$work/driver.err" &
  local pid=$! box=1 i
  if [ ${#shots[@]} -gt 0 ]; then
    for i in $(seq 1200); do
      kill -0 "$pid" 2>/dev/null || break
      local mark=$work/marks/box$box
      if [ -s "$mark" ]; then
        take_screenshot "$mark" "${shots[box - 1]:-}"
        rm -f "$mark"
        box=$((box + 1))
      fi
      sleep 0.1
    done
  fi
  wait "$pid"
  driver_rc=$?
  out=$(tr -d '\r' <"$out_file")
}

# take_screenshot MARK FILE: the box's rectangle, as the driver wrote it.
take_screenshot() {
  [ -n "$2" ] || return 0
  local x y w h
  read -r x y w h <"$1"
  # The driver marks the box once its icon is painted; let the rest follow.
  sleep 0.5
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2" 2>/dev/null ||
    echo "  (screenshot $2 failed)"
}

# expect_boxes NAME EXIT_CODE BOX...: the driver saw exactly these boxes, in
# this order, and then this exit code.
expect_boxes() {
  local name=$1 code=$2
  shift 2
  local expected
  expected=$(printf '%s\n' "$@" "EXIT${TAB}$code")
  if [ "$out" != "$expected" ] || [ "$driver_rc" != 0 ]; then
    report_mismatch "$name" "driver status $driver_rc, records were:" "$out" "$expected"
    sed 's/^/    stderr: /' "$work/driver.err" | head -5
  fi
}

expect_updated() {  # NAME
  expect_boxes "$1" 1 "$CONFIRM" "$DONE"
  check "$1" "archive not updated correctly" "$fixture" verify-update "$old" "$game/mes.arc" "$resources"
  check "$1" "mes.arc_ left behind" test ! -e "$game/mes.arc_"
}

scenario_success() {
  local name=success-japanese-folder; scenario_ok=1
  # 表 and ソ end in the byte 0x5C (a backslash) in Shift-JIS.
  new_game $name 'Games\ミルカナ表示ソフト' 'Games/ミルカナ表示ソフト'
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$old"
  if [ -n "${MES_SCREENSHOT_DIR:-}" ]; then
    mkdir -p "$MES_SCREENSHOT_DIR"
    shots=("$MES_SCREENSHOT_DIR/confirm.png" "$MES_SCREENSHOT_DIR/complete.png")
  fi
  run_driver -- yes
  shots=()
  expect_updated $name
  finish $name
}

scenario_answer_no() {
  local name=answer-no; scenario_ok=1
  new_game $name 'Mirkan\no' Mirkan/no
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$old"
  run_driver -- no
  expect_boxes $name -1 "$CONFIRM"
  check $name "archive changed" cmp -s "$old" "$game/mes.arc"
  check $name "mes.arc_ written" test ! -e "$game/mes.arc_"
  finish $name
}

scenario_no_key() {
  local name=no-key; scenario_ok=1
  delete_key
  run_driver --
  expect_boxes $name -1 "$NOT_INSTALLED"
  finish $name
}

scenario_archive_missing() {
  local name=archive-missing; scenario_ok=1
  new_game $name 'Mirkan\missing' Mirkan/missing
  run_driver -- yes
  expect_boxes $name 2 "$CONFIRM" "BOX${TAB}ｱｯﾌﾟﾃﾞｰﾄ${TAB}${inst}\\mes.arc が見つかりません。${TAB}ok${TAB}information"
  check $name "files appeared" test -z "$(ls -A "$game")"
  finish $name
}

# The game keeps the archive open: the delete fails, so does the rename onto
# it, and the complete new archive stays beside the old one.
scenario_held_open() {
  local name=archive-held-open; scenario_ok=1
  new_game $name 'Mirkan\held' Mirkan/held
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$old"
  run_driver --hold "$(winpath "$game/mes.arc")" -- yes
  expect_boxes $name 2 "$CONFIRM" \
    "BOX${TAB}ｱｯﾌﾟﾃﾞｰﾀ${TAB}Mes.arc の削除に失敗しました。 32${TAB}ok${TAB}warning" \
    "BOX${TAB}ｱｯﾌﾟﾃﾞｰﾀ${TAB}Mes.arc のﾘﾈｰﾑに失敗しました。 183${TAB}ok${TAB}warning"
  check $name "held archive changed" cmp -s "$old" "$game/mes.arc"
  check $name "mes.arc_ is not the complete update" \
    "$fixture" verify-update "$old" "$game/mes.arc_" "$resources"
  finish $name
}

scenario_stale_new_file() {
  local name=stale-new-file; scenario_ok=1
  new_game $name 'Mirkan\stale' Mirkan/stale
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$old"
  head -c 70000 /dev/urandom >"$game/mes.arc_"
  run_driver -- yes
  expect_updated $name
  finish $name
}

# A stale mes.arc_ the updater may not remove (under Wine a link looks like a
# file, and deleting it deletes what it leads to): the run stops before
# writing, and the archive and the stale name stay as they were.
expect_stale_refused() {  # NAME
  expect_boxes $1 2 "$CONFIRM" "BOX${TAB}ｱｯﾌﾟﾃﾞｰﾄ${TAB}${inst}\\mes.arc_ - ファイル書き込みエラー。${TAB}ok${TAB}information"
  check $1 "archive changed" cmp -s "$old" "$game/mes.arc"
}

scenario_stale_link_outside() {
  local name=stale-link-outside; scenario_ok=1
  new_game $name 'Mirkan\outside' Mirkan/outside
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$old"
  head -c 5000 /dev/urandom >"$work/$name.target"
  cp "$work/$name.target" "$work/$name.kept"
  ln -s "$work/$name.target" "$game/mes.arc_"
  run_driver -- yes
  expect_stale_refused $name
  check $name "file outside the game folder changed" cmp -s "$work/$name.kept" "$work/$name.target"
  check $name "link removed" test -L "$game/mes.arc_"
  finish $name
}

# Opening a FIFO would wait for a writer forever.
scenario_stale_fifo() {
  local name=stale-fifo; scenario_ok=1
  new_game $name 'Mirkan\fifo' Mirkan/fifo
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$old"
  mkfifo "$game/mes.arc_"
  run_driver -- yes
  expect_stale_refused $name
  finish $name
}

# An earlier run died between the delete and the rename: the complete new
# archive, carrying the five payloads, is moved into place.
scenario_interrupted_swap() {
  local name=interrupted-swap-finished; scenario_ok=1
  new_game $name 'Mirkan\resume' Mirkan/resume
  local source=$work/$name.source
  mkdir -p "$source"
  cp "$resources"/*.MES "$source"/
  printf 'an old message file' >"$source/SYSTEM.MES"
  "$mesarc" pack "$source" -o "$game/mes.arc_" >/dev/null
  cp "$game/mes.arc_" "$work/$name.new"
  run_driver -- yes
  expect_boxes $name 1 "$CONFIRM" "$DONE"
  check $name "new archive not moved into place" cmp -s "$work/$name.new" "$game/mes.arc"
  check $name "mes.arc_ left behind" test ! -e "$game/mes.arc_"
  finish $name
}

setup
scenario_success
scenario_answer_no
scenario_no_key
scenario_archive_missing
scenario_held_open
scenario_stale_new_file
scenario_stale_link_outside
scenario_stale_fifo
scenario_interrupted_swap

echo "e2e-windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
