#!/usr/bin/env bash
# The two builds side by side: every scenario runs once with the Linux build
# and once with the Windows build under Wine, on the same kind of prefix (the
# registry file Wine itself wrote, the same InstPath, a Japanese folder) and
# the same archive bytes. They must show the same messages in the same order
# (caption, text, buttons, icon), take the same answers, end with the same
# exit code and leave the same files, byte for byte, in the game folder.
#
# The Linux build reports its messages through MESUPDATE_DIALOG_RECORD in the
# form mbdriver.exe reports the Windows build's boxes, icons included.
#
# Where the builds must differ, this test does not compare them:
#
# | situation                   | Linux build                     | Windows build              | why                                                                                   |
# |-----------------------------|---------------------------------|----------------------------|---------------------------------------------------------------------------------------|
# | not installed               | the message, then one line on   | the message box only       | a terminal user can act on a path; a GUI program has no console                       |
# |                             | stderr: prefix, system.reg, why |                            |                                                                                       |
# | command line                | --help, --version, --yes; other | ignored                    | a Unix command, and a program started by double click; linux_e2e.sh tests it          |
# |                             | arguments refused (exit 2)      |                            |                                                                                       |
# | exit code when Run did not  | 255                             | -1                         | the same value: a Linux exit status has 8 bits (compared as -1 here)                  |
# | run                         |                                 |                            |                                                                                       |
# | icons                       | none on the terminal            | in the box                 | a terminal has no icons; the record carries them and they are compared                |
# | registry while Wine runs    | system.reg as Wine last wrote it| the live registry          | Wine writes system.reg lazily; this test lets the server exit before copying it       |
# | a failure                   | the message, then one English   | the message box only       | as for not installed; linux_e2e.sh tests the lines                                    |
# |                             | line: host path, cause          |                            |                                                                                       |
# | no terminal, a desktop      | zenity or kdialog dialogs       | message boxes              | the same texts and icons; desktop_e2e.sh tests them                                   |
# | a stale mes.arc_ that is a  | the link or FIFO is removed,    | refused: write error,      | under Wine a Unix link looks like a file, and deleting it deletes what it leads to;   |
# | symbolic link or a FIFO     | the update goes on (exit 1)     | exit 2, archive kept       | sharing_e2e.sh and windows_e2e.sh test each side                                      |
# | a Linux process (not Wine)  | delete refused (32), exit 2     | replaced, exit 1           | Wine does not see Linux processes' open files; the game under Wine is seen by both    |
# | holds mes.arc open          |                                 |                            |                                                                                       |
# | a folder name Shift-JIS     | its own name: C:\Games\Café     | its short name:            | Linux has no short names: the Linux build carries é as a Shift-JIS user-defined code  |
# | cannot hold, in a message   | Mirkan\mes.arc                  | C:\Games\CAF_~RWY\mes.arc  | and turns it back for the files and the texts; the rest of the scenarios is compared  |
#
# Usage: differential_e2e.sh WIN_BIN_DIR NATIVE_BIN_DIR
#   WIN_BIN_DIR holds mesupdate.exe and mbdriver.exe; NATIVE_BIN_DIR the
#   Linux mesupdate, mesarc and archive_fixture.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 WIN_BIN_DIR NATIVE_BIN_DIR" >&2
  exit 2
fi
win_bin=$(cd "$1" && pwd) || exit 2
native_bin=$(cd "$2" && pwd) || exit 2
resources=$(cd "$(dirname "$0")/../../resources" && pwd)
for tool in "$win_bin/mesupdate.exe" "$win_bin/mbdriver.exe" "$native_bin/mesupdate" \
            "$native_bin/mesarc" "$native_bin/archive_fixture"; do
  [ -f "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done

work=$(dirname "$win_bin")/differential
export WINEPREFIX=$(dirname "$win_bin")/differential-prefix
linux_prefix=$work/linux-prefix
source "$(dirname "$0")/wine_lib.sh"
source "$(dirname "$0")/scenario_lib.sh"
trap 'release_holds; chmod -R u+w "$work" 2>/dev/null; stop_wine_and_display' EXIT
trap 'exit 130' INT TERM HUP

key='HKLM\SoftWare\velk\MIRKAN'
inst='C:\Games\ミルカナ表示ソフト'  # 表 and ソ end in the byte 0x5C in Shift-JIS
windows_game=$WINEPREFIX/drive_c/Games/ミルカナ表示ソフト
linux_game=$linux_prefix/drive_c/Games/ミルカナ表示ソフト

# The archives every scenario draws on, made once, the same bytes for both.
make_inputs() {
  local inputs=$work/inputs
  mkdir -p "$inputs/patched-source"
  "$native_bin/archive_fixture" make "$inputs/sample.arc" SYSTEM.MES:1200 T27C.MES:5000 \
    C_TALK01.MES:777 T09C.MES:64 EMPTY.MES:0 T10A.MES:3000 C_TALK90.MES:4097
  # The last entry's data reaches past the end: the reader refuses the index.
  head -c -100 "$inputs/sample.arc" >"$inputs/damaged.arc"
  head -c 70000 /dev/urandom >"$inputs/stale"
  cp "$resources"/*.MES "$inputs/patched-source/"
  printf 'an old message file' >"$inputs/patched-source/SYSTEM.MES"
  "$native_bin/mesarc" pack "$inputs/patched-source" -o "$inputs/patched.arc" >/dev/null
}

# The key in both registry views; the server then exits, so system.reg is
# written, and the Linux prefix gets a copy of it.
add_key_and_share_registry() {
  set_install_path "$inst"
  "$wineserver" -w
  cp "$WINEPREFIX/system.reg" "$linux_prefix/system.reg"
  grep -q 'velk' "$linux_prefix/system.reg" || { echo "system.reg lacks the key" >&2; exit 1; }
}

setup() {
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
  mkdir -p "$work" "$linux_prefix/dosdevices" "$linux_game" "$windows_game"
  ln -s ../drive_c "$linux_prefix/dosdevices/c:"
  start_xvfb || { echo "cannot start Xvfb" >&2; exit 1; }
  make_wine_prefix
  mkdir -p "$windows_game"
  # Before the key exists: the Linux prefix's registry for "not installed".
  cp "$WINEPREFIX/system.reg" "$linux_prefix/system.reg"
  make_inputs
}

# Files another process holds open during the next runs: on Linux a plain
# process with the file on its standard input, on Windows the driver, which
# shares reads only.
linux_holders=()
driver_options=()
hold() {  # NAME
  sleep 300 <"$linux_game/$1" &
  linux_holders+=($!)
  driver_options+=(--hold "$(winpath "$windows_game/$1")")
  local i
  for i in $(seq 100); do
    [ /proc/$!/fd/0 -ef "$linux_game/$1" ] && return
    sleep 0.05
  done
}

release_holds() {
  [ ${#linux_holders[@]} -eq 0 ] || kill "${linux_holders[@]}" 2>/dev/null
  linux_holders=()
  driver_options=()
}

# Empties both game folders (read-only files too).
clear_games() {
  release_holds
  chmod -R u+w "$linux_game" "$windows_game"
  rm -rf "${linux_game:?}"/* "${windows_game:?}"/*
}

# put INPUT NAME: the same bytes into both game folders.
put() {
  cp "$work/inputs/$1" "$linux_game/$2"
  cp "$work/inputs/$1" "$windows_game/$2"
}

# Records of the Linux build's run: BOX and ANSWER lines, then EXIT.
run_linux() {
  local record=$work/linux.record
  rm -f "$record"
  printf '%s\n' "$@" | MESUPDATE_DIALOG_RECORD=$record WINEPREFIX=$linux_prefix \
    "$native_bin/mesupdate" >/dev/null 2>"$work/linux.stderr"
  local code=$?
  [ "$code" = 255 ] && code=-1
  linux_out=$( (cat "$record" 2>/dev/null; printf 'EXIT\t%s\n' "$code") | grep -v '^ANSWER')
  linux_answers=$(grep '^ANSWER' "$record" 2>/dev/null | cut -f2 | paste -sd' ')
}

run_windows() {
  timeout 180 "$wine" "$win_bin/mbdriver.exe" --timeout 90 "${driver_options[@]}" \
    "$(winpath "$win_bin/mesupdate.exe")" "$@" >"$work/driver.out" 2>"$work/driver.err"
  driver_rc=$?
  windows_out=$(tr -d '\r' <"$work/driver.out")
}

# Every file and folder under a game folder with its bytes' digest.
folder_state() {
  (cd "$1" && find . -mindepth 1 -printf '%y %p\n' | sort |
     while read -r type path; do
       if [ "$type" = f ]; then echo "$path $(sha256sum <"$path" | cut -c1-16)"; else echo "$type $path"; fi
     done)
}

# compare_run NAME ANSWER...: one run of each build in the folders as they
# stand, then every comparison; the folders are left as the runs left them.
compare_run() {
  local name=$1
  shift
  run_linux "$@"
  run_windows "$@"
  $align_folder_names
  if [ "$linux_out" != "$windows_out" ]; then
    report_mismatch "$name" "messages or exit code differ; Linux:" "$linux_out" "$windows_out"
  fi
  check "$name" "driver status $driver_rc: $(head -3 "$work/driver.err" | tr -d '\r')" test "$driver_rc" = 0
  check "$name" "Linux answers '$linux_answers', given '$*'" test "$linux_answers" = "$*"
  local linux_files windows_files
  linux_files=$(folder_state "$linux_game")
  windows_files=$(folder_state "$windows_game")
  if [ "$linux_files" != "$windows_files" ]; then
    report_mismatch "$name" "game folders differ; Linux:" "$linux_files" "$windows_files"
  fi
  last_out=$windows_out
}

# expect_exit NAME CODE: the agreed outcome is also the intended one.
expect_exit() {
  check "$1" "exit code: $(tail -1 <<<"$last_out"), expected $2" test "$(tail -1 <<<"$last_out")" = "EXIT$TAB$2"
}
TAB=$'\t'

# Each scenario: clear the folders, lay out the same files, compare.
scenario() {  # NAME EXPECTED_EXIT PREPARE ANSWER...
  local name=$1 expected=$2 prepare=$3
  shift 3
  scenario_ok=1
  clear_games
  $prepare
  compare_run "$name" "$@"
  release_holds
  expect_exit "$name" "$expected"
  finish "$name"
}

prepare_nothing() { :; }
prepare_archive() { put sample.arc mes.arc; }
prepare_damaged() { put damaged.arc mes.arc; }
prepare_read_only() { put sample.arc mes.arc; chmod a-w "$linux_game/mes.arc" "$windows_game/mes.arc"; }
prepare_stale() { put sample.arc mes.arc; put stale mes.arc_; }
# Windows will not delete a read-only file to make room for the new one.
prepare_read_only_stale() { prepare_stale; chmod a-w "$linux_game/mes.arc_" "$windows_game/mes.arc_"; }
prepare_patched_leftover() { put patched.arc mes.arc_; }
prepare_unpatched_leftover() { put sample.arc mes.arc_; }
# The game runs: delete refused (32), then the rename onto the old file (183).
prepare_held_archive() { put sample.arc mes.arc; hold mes.arc; }
# Two updaters at once: the other one is writing mes.arc_, which a process
# holding it open stands in for; this one cannot write it and stops.
prepare_other_updater_writing() { put sample.arc mes.arc; put stale mes.arc_; hold mes.arc_; }

# The Café folder's messages name it differently (the table above): once the
# Linux build is seen to show the folder's own name, its text takes the short
# name the Windows build showed, so that the rest is compared.
align_folder_names=:
short_name_for_own_name() {
  local own='C:\Games\Café Mirkan\' short
  short=$(grep -o 'C:\\Games\\[^\\]*~[^\\]*\\' <<<"$windows_out" | head -1)
  check "$name" "the Windows build shows no short name" test -n "$short"
  check "$name" "the Linux build does not show $own" grep -qF "$own" <<<"$linux_out"
  [ -n "$short" ] && linux_out=${linux_out//"$own"/$short}
}

# The key names C:\Games\Café Mirkan from here on: é has no Shift-JIS code.
use_cafe_folder() {
  clear_games
  inst='C:\Games\Café Mirkan'
  linux_game="$linux_prefix/drive_c/Games/Café Mirkan"
  windows_game="$WINEPREFIX/drive_c/Games/Café Mirkan"
  mkdir -p "$linux_game" "$windows_game"
  # The persistent server goes, so that the new key reaches system.reg.
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w
  add_key_and_share_registry
  "$wineserver" -p30
}

scenario_three_runs() {
  local name=three-runs-in-a-row run
  scenario_ok=1
  clear_games
  prepare_archive
  for run in 1 2 3; do
    compare_run "$name (run $run)" yes
    expect_exit "$name (run $run)" 1
  done
  finish "$name"
}

setup
scenario not-installed -1 prepare_archive
add_key_and_share_registry
"$wineserver" -p30
scenario success 1 prepare_archive yes
scenario answer-no -1 prepare_archive no
scenario archive-missing 2 prepare_nothing yes
scenario damaged-index 2 prepare_damaged yes
scenario read-only-archive 2 prepare_read_only yes
scenario stale-new-file 1 prepare_stale yes
scenario read-only-stale-new-file 2 prepare_read_only_stale yes
scenario interrupted-swap-patched-leftover 1 prepare_patched_leftover yes
scenario unpatched-leftover 2 prepare_unpatched_leftover yes
scenario archive-held-open 2 prepare_held_archive yes
scenario two-updaters-at-once 2 prepare_other_updater_writing yes
scenario_three_runs
use_cafe_folder
scenario cafe-folder-success 1 prepare_archive yes
align_folder_names=short_name_for_own_name
scenario cafe-folder-archive-missing 2 prepare_nothing yes
align_folder_names=:

echo "e2e-differential: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
