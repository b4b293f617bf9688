#!/usr/bin/env bash
# End-to-end scenarios for the Linux build: each one makes a throwaway Wine
# prefix (system.reg and drive_c), runs the updater with a typed answer and
# checks what it said, its exit code and the files it left.
# Usage: linux_e2e.sh MESUPDATE ARCHIVE_FIXTURE RESOURCES_DIR
# (mesarc, beside MESUPDATE, packs the leftovers that carry the payloads)
set -uo pipefail
source "$(dirname "$0")/scenario_lib.sh"
source "$(dirname "$0")/linux_prefix_lib.sh"
take_arguments "$@"
trap 'rm -rf "$root"' EXIT

NL=$'\n'
CONFIRM="[mesupdate] 「ミルカナ」のシステムファイルをアップデートします。${NL}※「ミルカナ」を起動している場合は、終了させておいてください${NL}よろしいですか。 [y/N] "
DONE="[mesupdate] 「ミルカナ」のシステムが無事更新されました。"
NOT_INSTALLED="[mesupdate] 「ミルカナ」がインストールされていません。"
DELETE_FAILED="[ｱｯﾌﾟﾃﾞｰﾀ] Mes.arc の削除に失敗しました。"
RENAME_FAILED="[ｱｯﾌﾟﾃﾞｰﾀ] Mes.arc のﾘﾈｰﾑに失敗しました。"
UNCHANGED="mesupdate: the answer was No: nothing was changed"
# leftover GAME: the line after a missing archive beside a new file left alone.
leftover() {
  echo "mesupdate: $1/mes.arc_: left by an update that did not finish, but not a complete update by this version, so it was left alone; if it is the game's archive (mesarc status tells), rename it to mes.arc and run mesupdate again; otherwise put the game's own mes.arc back (from a backup, or reinstall the game)"
}

# A complete archive that carries the five payloads, as an update by this
# build leaves it, with one old entry of its own.
make_patched() {
  local source=$root/patched-source
  rm -rf "$source"; mkdir -p "$source"
  cp "$resources"/*.MES "$source"/
  printf 'an old message file' >"$source/SYSTEM.MES"
  "$mesarc" pack "$source" -o "$1" >/dev/null
}

# run_updater ANSWER [OPTION...]: runs in the current prefix; sets out
# (stderr, where the dialog talks), stdout and code.
run_updater() {
  local answer=$1
  shift
  local stdout_file=$root/stdout
  out=$(printf '%s\n' "$answer" | WINEPREFIX=$prefix "$mesupdate" "$@" 2>&1 >"$stdout_file")
  code=$?
  stdout=$(cat "$stdout_file")
  named_copy=$(grep -m1 '^mesupdate: the game is in the Wine prefix ' <<<"$out")
}

# The line naming the copy before the question is checked once, in the
# success scenario; the others compare what follows it.
expect_output() {
  local shown
  shown=$(grep -v '^mesupdate: the game is in the Wine prefix ' <<<"$out")
  if [ "$shown" != "$2" ]; then report_mismatch "$1" "output was:" "$out" "$2"; fi
}

# An update that went through: completion reported, archive updated.
expect_updated() {  # NAME OLD_COPY ARCHIVE
  expect_output "$1" "$CONFIRM$NL$DONE"
  check "$1" "exit code $code, expected 1" test "$code" = 1
  check "$1" "archive not updated correctly" "$fixture" verify-update "$2" "$3" "$resources"
  check "$1" "mes.arc_ left behind" test ! -e "$3_"
}

scenario_success_in_japanese_folder() {
  local name=success-japanese-folder; scenario_ok=1
  # C:\Games\ミルカナ表ソ (表 and ソ end in the byte 0x5C in Shift-JIS).
  make_prefix $name win32 'C:\\Games\\\x30df\x30eb\x30ab\x30ca\x8868\x30bd' 'Games/ミルカナ表ソ'
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  run_updater はい
  expect_updated $name "$root/$name.old" "$game/mes.arc"
  check $name "the copy named before the question: '$named_copy'" test "$named_copy" = \
    "mesupdate: the game is in the Wine prefix $prefix (from \$WINEPREFIX); the archive to update: $game/mes.arc"
  finish $name
}

scenario_answer_no() {
  local name=answer-no; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  run_updater n
  expect_output $name "$CONFIRM$NL$UNCHANGED"
  check $name "exit code $code, expected 255" test "$code" = 255
  # The end of input answers No too, and ends the prompt's line.
  out=$(WINEPREFIX=$prefix "$mesupdate" </dev/null 2>&1 | grep -v '^mesupdate: no one could be asked')
  expect_output "$name (end of input)" "$CONFIRM$NL$UNCHANGED"
  # On a terminal too (Ctrl-D, which the terminal does not echo as a newline).
  out=$(: | WINEPREFIX=$prefix script -qec "$(printf '%q' "$mesupdate")" /dev/null | tr -d '\r')
  expect_output "$name (Ctrl-D on a terminal)" "$CONFIRM$NL$UNCHANGED"
  check $name "archive changed" cmp -s "$root/$name.old" "$game/mes.arc"
  check $name "mes.arc_ written" test ! -e "$game/mes.arc_"
  finish $name
}

# A socket on standard input, with no desktop session, is no player: it is
# not read, even when it carries "y", and a silent one does not block.
scenario_unanswerable_input_not_read() {
  local name=unanswerable-input-not-read; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  local send
  for send in 'y\n' ''; do
    out=$(WINEPREFIX=$prefix timeout 20 python3 -c '
import socket, subprocess, sys
ours, theirs = socket.socketpair()
ours.sendall(sys.argv[1].encode().decode("unicode_escape").encode())
sys.exit(subprocess.call(sys.argv[2:], stdin=theirs, stdout=subprocess.DEVNULL))' \
      "$send" env -u DISPLAY -u WAYLAND_DISPLAY "$mesupdate" 2>&1)
    code=$?
    check $name "socket carrying '$send': exit code $code, expected 255" test "$code" = 255
    check $name "socket carrying '$send': no reason given: $out" grep -qF 'no one could be asked' <<<"$out"
  done
  check $name "archive changed" cmp -s "$root/$name.old" "$game/mes.arc"
  finish $name
}

# A folder name with ESC ] 2 ; ... BEL in InstPath would set the terminal's
# title through the Japanese message and the English line.
scenario_control_bytes_shown() {
  local name=control-bytes-shown; scenario_ok=1
  make_prefix $name win32 'C:\\M\x1b]2;owned\x07' $'M\e]2;owned\a'
  run_updater y
  check $name "exit code $code, expected 2" test "$code" = 2
  check $name "a control byte reached the terminal: $(printf %q "$out")" \
    test "$(LC_ALL=C tr -d '\n\040-\176\200-\377' <<<"$out" | wc -c)" = 0
  check $name "Japanese line: $out" grep -qF '[ｱｯﾌﾟﾃﾞｰﾄ] C:\M\x1b]2;owned\x07\mes.arc が見つかりません。' <<<"$out"
  check $name "English line: $out" grep -qF 'drive_c/M\x1b]2;owned\x07/mes.arc: No such file' <<<"$out"
  finish $name
}

# After the archive's own messages, one line says what the file is and what
# to do: a foreign file, an empty one, a cut one, one over 4 GiB.
scenario_refused_archive_explained() {
  local name=refused-archive-explained; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  local header="[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Mirkan\\mes.arc - ヘッダーの取得に失敗しました。"
  local count="[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Mirkan\\mes.arc - ファイル数の取得に失敗しました。"
  local back="; put the game's own mes.arc back (from a backup, or reinstall the game)"
  local case expected
  for case in foreign empty cut huge; do
    rm -f "$game/mes.arc"
    case $case in
      foreign) printf 'PNG image, not an archive at all' >"$game/mes.arc"
               expected="$header${NL}mesupdate: $game/mes.arc: not a message archive: an index of 541544016 entries needs 17329408516 bytes, the file has 32$back" ;;
      empty) : >"$game/mes.arc"
             expected="$count${NL}mesupdate: $game/mes.arc: not a message archive: the file has 0 bytes, too short for the entry count$back" ;;
      cut) make_archive "$root/$name.full"; head -c 1000 "$root/$name.full" >"$game/mes.arc"
           expected="$header${NL}mesupdate: $game/mes.arc: damaged: entry 0's data ends past the end of the file$back" ;;
      huge) truncate -s 5G "$game/mes.arc"
            expected="$header${NL}mesupdate: $game/mes.arc: 5368709120 bytes, more than a message archive can hold (4 GiB)$back" ;;
    esac
    run_updater y
    expect_output "$name ($case)" "$CONFIRM$NL$expected"
    check $name "$case: exit code $code, expected 2" test "$code" = 2
  done
  finish $name
}

scenario_no_key() {
  local name=no-key; scenario_ok=1
  make_prefix $name win32 '' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  run_updater y
  expect_output $name "$NOT_INSTALLED${NL}mesupdate: not installed: searched $prefix/system.reg of the Wine prefix $prefix (from \$WINEPREFIX): no key HKEY_LOCAL_MACHINE\\SoftWare\\velk\\MIRKAN"
  check $name "exit code $code, expected 255" test "$code" = 255
  check $name "archive changed" cmp -s "$root/$name.old" "$game/mes.arc"
  finish $name
}

# After the player's message, one line says where the registry was searched
# and why the game was not found there.
scenario_not_installed_explained() {
  local name=not-installed-explained; scenario_ok=1
  local head="mesupdate: not installed: searched"
  prefix=$root/$name-absent
  run_updater y
  expect_output "$name (no prefix)" "$NOT_INSTALLED$NL$head $prefix/system.reg of the Wine prefix $prefix (from \$WINEPREFIX): the prefix does not exist"
  check $name "exit code $code, expected 255" test "$code" = 255
  check $name "prefix created" test ! -e "$prefix"

  prefix=$root/$name-empty; mkdir -p "$prefix"
  run_updater y
  expect_output "$name (no system.reg)" "$NOT_INSTALLED$NL$head $prefix/system.reg of the Wine prefix $prefix (from \$WINEPREFIX): there is no system.reg"

  make_prefix $name-win64 win64 '' Mirkan
  run_updater y
  expect_output "$name (win64, no key)" "$NOT_INSTALLED$NL$head $prefix/system.reg of the Wine prefix $prefix (from \$WINEPREFIX): no key HKEY_LOCAL_MACHINE\\SoftWare\\velk\\MIRKAN (looked up under Software\\Wow6432Node, as a 32-bit program sees a 64-bit prefix)"

  make_prefix $name-value win32 'C:\\Mirkan' Mirkan
  sed -i 's/"InstPath"/"Path"/' "$prefix/system.reg"
  run_updater y
  expect_output "$name (no value)" "$NOT_INSTALLED$NL$head $prefix/system.reg of the Wine prefix $prefix (from \$WINEPREFIX): no value InstPath in HKEY_LOCAL_MACHINE\\SoftWare\\velk\\MIRKAN"
  check $name "exit code $code, expected 255" test "$code" = 255

  # Without WINEPREFIX the Wine managers' folders are searched
  # (prefix_search_e2e.sh): the lines say where, and what to do.
  out=$(env -u WINEPREFIX HOME="$root/$name-home" "$mesupdate" </dev/null 2>&1 >/dev/null)
  check $name "search: not the not-installed message first" test "$(head -1 <<<"$out")" = "$NOT_INSTALLED"
  check $name "search: where it looked not said" \
    grep -qx 'mesupdate: not installed: no Wine prefix names the game with its mes.arc (0 prefixes examined). Searched:' <<<"$out"
  check $name "search: --prefix not named" \
    test "$(tail -1 <<<"$out")" = "mesupdate: if the game is installed in another Wine prefix, name it: mesupdate --prefix DIR"
  finish $name
}

scenario_archive_missing() {
  local name=archive-missing; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  run_updater y
  expect_output $name "$CONFIRM$NL[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Mirkan\\mes.arc が見つかりません。${NL}mesupdate: $game/mes.arc: No such file or directory"
  check $name "exit code $code, expected 2" test "$code" = 2
  check $name "files appeared" test -z "$(ls -A "$game")"
  finish $name
}

scenario_stale_new_file() {
  local name=stale-new-file; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  printf 'left over from an earlier attempt' >"$game/mes.arc_"
  run_updater yes
  expect_updated $name "$root/$name.old" "$game/mes.arc"
  finish $name
}

scenario_win64_prefix() {
  local name=win64-prefix-wow6432node; scenario_ok=1
  # A 64-bit prefix: a 32-bit program reads the key under Wow6432Node.
  make_prefix $name win64 'C:\\Mirkan' Mirkan 'Software\\Wow6432Node\\velk\\MIRKAN'
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  run_updater ' Y '
  expect_updated $name "$root/$name.old" "$game/mes.arc"
  finish $name
}

scenario_trailing_backslash_and_upper_case_file() {
  local name=trailing-backslash-upper-case; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan\\' Mirkan
  make_archive "$game/MES.ARC"; cp "$game/MES.ARC" "$root/$name.old"
  run_updater y
  expect_output $name "$CONFIRM$NL$DONE"
  check $name "exit code $code" test "$code" = 1
  check $name "old MES.ARC still there" test ! -e "$game/MES.ARC"
  check $name "archive not updated" "$fixture" verify-update "$root/$name.old" "$game/mes.arc" "$resources"
  finish $name
}

scenario_three_runs() {
  local name=three-runs-keep-every-entry; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"
  local run
  for run in 1 2 3; do
    cp "$game/mes.arc" "$root/$name.$run"
    run_updater y
    expect_updated "$name (run $run)" "$root/$name.$run" "$game/mes.arc"
  done
  finish $name
}

scenario_interrupted_swap_finished() {
  local name=interrupted-swap-finished; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_patched "$game/mes.arc_"
  cp "$game/mes.arc_" "$root/$name.new"
  run_updater y
  expect_output $name "$CONFIRM$NL$DONE"
  check $name "exit code $code" test "$code" = 1
  check $name "new archive not moved into place" cmp -s "$root/$name.new" "$game/mes.arc"
  check $name "mes.arc_ left behind" test ! -e "$game/mes.arc_"
  finish $name
}

scenario_truncated_leftover_kept() {
  local name=truncated-leftover-left-alone; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  "$fixture" make "$root/$name.full" A.MES:100 B.MES:200
  head -c 250 "$root/$name.full" >"$game/mes.arc_"
  cp "$game/mes.arc_" "$root/$name.partial"
  run_updater y
  expect_output $name "$CONFIRM$NL[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Mirkan\\mes.arc が見つかりません。${NL}mesupdate: $game/mes.arc: No such file or directory${NL}$(leftover "$game")"
  check $name "exit code $code" test "$code" = 2
  check $name "partial file moved or changed" cmp -s "$root/$name.partial" "$game/mes.arc_"
  check $name "archive appeared" test ! -e "$game/mes.arc"
  finish $name
}

# A complete archive that this build did not write (a copy the player kept)
# is no update: it stays where it is and nothing is reported as updated.
scenario_unpatched_leftover_kept() {
  local name=unpatched-leftover-left-alone; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc_"
  cp "$game/mes.arc_" "$root/$name.copy"
  run_updater y
  expect_output $name "$CONFIRM$NL[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Mirkan\\mes.arc が見つかりません。${NL}mesupdate: $game/mes.arc: No such file or directory${NL}$(leftover "$game")"
  check $name "exit code $code, expected 2" test "$code" = 2
  check $name "leftover moved or changed" cmp -s "$root/$name.copy" "$game/mes.arc_"
  check $name "archive appeared" test ! -e "$game/mes.arc"
  finish $name
}

# A mes.arc without write permission is read-only, as Wine reports it: the
# delete is refused (5), so is the rename onto it (183), the old one stays.
# Each message is followed by its cause in Unix words.
scenario_read_only_archive() {
  local name=read-only-archive; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  chmod a-w "$game/mes.arc"
  run_updater y
  expect_output $name "$CONFIRM$NL$DELETE_FAILED 5${NL}mesupdate: $game/mes.arc: mode 0444: read-only$NL$RENAME_FAILED 183${NL}mesupdate: cannot rename $game/mes.arc_ to $game/mes.arc: File exists"
  check $name "exit code $code, expected 2" test "$code" = 2
  check $name "read-only archive changed" cmp -s "$root/$name.old" "$game/mes.arc"
  check $name "mes.arc_ is not the complete update" \
    "$fixture" verify-update "$root/$name.old" "$game/mes.arc_" "$resources"
  finish $name
}

# The Linux build is a Unix command: options are read before anything else.
scenario_command_line() {
  local name=command-line; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"

  run_updater y --help
  check $name "--help: exit code $code, expected 0" test "$code" = 0
  check $name "--help: something on stderr: $out" test -z "$out"
  check $name "--help: no usage" grep -q '^Usage: mesupdate \[-y|--yes\]' <<<"$stdout"
  check $name "--help: exit codes not explained" grep -q '^  255 ' <<<"$stdout"
  check $name "--help: WINEPREFIX not named" grep -q 'WINEPREFIX' <<<"$stdout"

  run_updater y --version
  check $name "--version: exit code $code" test "$code" = 0
  check $name "--version printed '$stdout'" grep -qE '^mesupdate [0-9]+\.[0-9]+\.[0-9]+ \(commit ([0-9a-f]{40}(-modified)?)\)$' <<<"$stdout"

  run_updater y -h
  check $name "-h: exit code $code, expected 0" test "$code" = 0
  check $name "-h: no usage" grep -q '^Usage: mesupdate' <<<"$stdout"

  # GNU style: the error, then where to look, on stderr; exit 2.
  local option
  for option in --dry-run -n list --yes=no; do
    run_updater y --yes "$option"
    check $name "$option: exit code $code, expected 2" test "$code" = 2
    check $name "$option: not the one-line error and the hint: $out" \
      grep -qxE "mesupdate: (unrecognized option|unexpected argument) '$option'" <<<"$(head -1 <<<"$out")"
    check $name "$option: no hint after the error" test "$(tail -n +2 <<<"$out")" = "Try 'mesupdate --help'."
    check $name "$option: something on stdout" test -z "$stdout"
  done
  check $name "archive changed by a refused command line" cmp -s "$root/$name.old" "$game/mes.arc"
  check $name "mes.arc_ written by a refused command line" test ! -e "$game/mes.arc_"

  # -y and --yes read nothing: an empty input would have answered No.
  for option in -y --yes; do
    cp "$root/$name.old" "$game/mes.arc"
    out=$(WINEPREFIX=$prefix "$mesupdate" $option </dev/null 2>&1 >/dev/null)
    code=$?
    expect_output "$name ($option)" "${CONFIRM}y$NL$DONE"
    check $name "$option: exit code $code, expected 1" test "$code" = 1
    check $name "$option: archive not updated" \
      "$fixture" verify-update "$root/$name.old" "$game/mes.arc" "$resources"
  done
  finish $name
}

# A full disk while the new archive is written: the game folder is a small
# tmpfs (in a mount namespace of its own) with room for the archive but not
# for the new one. The message names the new file; the line the cause.
scenario_disk_full() {
  local name=disk-full; scenario_ok=1
  make_prefix $name win32 'C:\\Mirkan' Mirkan
  make_archive "$root/$name.old"
  out=$(printf 'y\n' | WINEPREFIX=$prefix unshare -m sh -c '
      mount -t tmpfs -o size=64k tmpfs "$1" && cp "$2" "$1/mes.arc" || exit 99
      "$3"; code=$?
      cp "$1/mes.arc" "$2.after"; ls -A "$1" >"$2.left"
      exit $code' sh "$game" "$root/$name.old" "$mesupdate" 2>&1)
  code=$?
  expect_output $name "$CONFIRM$NL[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Mirkan\\mes.arc_ - ファイル書き込みエラー。${NL}mesupdate: $game/mes.arc_: No space left on device"
  check $name "exit code $code, expected 2" test "$code" = 2
  check $name "archive changed" cmp -s "$root/$name.old" "$root/$name.old.after"
  check $name "mes.arc_ left behind" test "$(cat "$root/$name.old.left")" = mes.arc
  finish $name
}

# C:\Games\Café Mirkan: é, which Shift-JIS lacks, is carried as a user-
# defined code and turned back at the file calls; the message shows é.
scenario_folder_shift_jis_cannot_name() {
  local name=folder-shift-jis-cannot-name; scenario_ok=1
  make_prefix $name win64 'C:\\Games\\Caf\x00e9 Mirkan' 'Games/Café Mirkan' \
    'Software\\Wow6432Node\\velk\\MIRKAN'
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.old"
  run_updater y
  expect_updated $name "$root/$name.old" "$game/mes.arc"
  rm "$game/mes.arc"
  run_updater y
  expect_output "$name (archive missing)" "$CONFIRM$NL[ｱｯﾌﾟﾃﾞｰﾄ] C:\\Games\\Café Mirkan\\mes.arc が見つかりません。${NL}mesupdate: $game/mes.arc: No such file or directory"
  check $name "exit code $code, expected 2" test "$code" = 2
  finish $name
}

scenario_path_too_long() {
  local name=install-path-too-long; scenario_ok=1
  # 251 bytes + "\mes.arc" + "_" would not fit in 260 bytes.
  local long
  long=$(printf 'C:\\\\%0248d' 0)
  make_prefix $name win32 "$long" Mirkan
  run_updater y
  expect_output $name "$NOT_INSTALLED${NL}mesupdate: not installed: searched $prefix/system.reg of the Wine prefix $prefix (from \$WINEPREFIX): the value InstPath of HKEY_LOCAL_MACHINE\\SoftWare\\velk\\MIRKAN names no folder the updater can use (the path is too long)"
  check $name "exit code $code" test "$code" = 255
  finish $name
}

scenario_success_in_japanese_folder
scenario_answer_no
scenario_unanswerable_input_not_read
scenario_control_bytes_shown
scenario_refused_archive_explained
scenario_no_key
scenario_not_installed_explained
scenario_archive_missing
scenario_stale_new_file
scenario_win64_prefix
scenario_trailing_backslash_and_upper_case_file
scenario_three_runs
scenario_interrupted_swap_finished
scenario_truncated_leftover_kept
scenario_unpatched_leftover_kept
scenario_read_only_archive
scenario_command_line
scenario_disk_full
scenario_path_too_long
scenario_folder_shift_jis_cannot_name

echo "e2e-linux: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
