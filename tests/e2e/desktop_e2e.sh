#!/usr/bin/env bash
# The Linux build started as a file manager or a launcher starts it: no
# terminal (standard input /dev/null, its own session), a desktop session on
# Xvfb. The question and the messages come as zenity dialogs, answered here
# with xdotool; kdialog (a stand-in that notes its arguments) is taken on a
# KDE desktop; without either, or without a display, standard error and the
# journal (a stand-in logger) say why nothing was asked. Piped answers keep
# the terminal dialog. Checks exit codes, the dialog record and the archive.
# With MES_SCREENSHOT_DIR set, the zenity question and completion dialogs
# are saved there as desktop-confirm.png and desktop-complete.png.
# Usage: desktop_e2e.sh NATIVE_BIN_DIR   (mesupdate, archive_fixture)
# Ends with "e2e-desktop: N passed, M failed".
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 NATIVE_BIN_DIR" >&2
  exit 2
fi
native_bin=$(cd "$1" && pwd) || exit 2
mesupdate=$native_bin/mesupdate
fixture=$native_bin/archive_fixture
resources=$(cd "$(dirname "$0")/../../resources" && pwd)
zenity=$(command -v zenity) || { echo "zenity is not installed (scripts/install_deps.sh)" >&2; exit 2; }

root=$(mktemp -d)
source "$(dirname "$0")/wine_lib.sh"  # start_xvfb; LANG=ja_JP.UTF-8, so はい(Y) and いいえ(N)
source "$(dirname "$0")/scenario_lib.sh"
source "$(dirname "$0")/linux_prefix_lib.sh"
trap 'chmod -R u+w "$root"; rm -rf "$root"; stop_wine_and_display' EXIT
trap 'exit 130' INT TERM HUP
start_xvfb || { echo "cannot start Xvfb" >&2; exit 2; }

NL=$'\n'
TAB=$'\t'
QUESTION='「ミルカナ」のシステムファイルをアップデートします。\n※「ミルカナ」を起動している場合は、終了させておいてください\nよろしいですか。'
ASKED="BOX${TAB}mesupdate${TAB}${QUESTION}${TAB}yesno${TAB}question"
DONE="BOX${TAB}mesupdate${TAB}「ミルカナ」のシステムが無事更新されました。${TAB}ok${TAB}warning"
UNCHANGED="the answer was No: nothing was changed"
record=$root/record
journal=$root/journal

# Programs the updater may find on $PATH: logger and kdialog are stand-ins
# that note their arguments.
mkdir -p "$root/bin-zenity" "$root/bin-none" "$root/bin-kde"
cat >"$root/bin-none/logger" <<STUB
#!/bin/sh
printf '%s|' "\$@" >>"$journal"; echo >>"$journal"
STUB
cat >"$root/bin-kde/kdialog" <<STUB
#!/bin/sh
printf '[%s]' "\$@" >>"$root/kdialog-args"; echo >>"$root/kdialog-args"
STUB
chmod +x "$root/bin-none/logger" "$root/bin-kde/kdialog"
ln -s "$root/bin-none/logger" "$root/bin-zenity/logger"
ln -s "$root/bin-none/logger" "$root/bin-kde/logger"
# zenity itself, after noting its arguments (what the dialog shows).
cat >"$root/bin-zenity/zenity" <<STUB
#!/bin/sh
for argument; do printf '[%s]' "\$argument"; done >>"$root/zenity-args"; echo >>"$root/zenity-args"
exec "$zenity" "\$@"
STUB
chmod +x "$root/bin-zenity/zenity"
ln -s "$zenity" "$root/bin-kde/zenity"

setsid=$(command -v setsid)
timeout=$(command -v timeout)

# launch BIN_DIR [ENV_ARGUMENT...]: starts the updater in the current prefix as
# a launcher does, in the background (pid); standard error goes to a file.
launch() {
  local bin=$1
  shift
  rm -f "$record" "$journal" "$root/kdialog-args" "$root/zenity-args"
  window= dialog_pid=
  env "$@" PATH="$bin" WINEPREFIX="$prefix" MESUPDATE_DIALOG_RECORD="$record" \
    "$setsid" -w "$mesupdate" </dev/null >/dev/null 2>"$root/stderr" &
  pid=$!
}

# Waits for the run to end; sets code, err (its standard error), shown (the record).
# The line naming the copy before the question goes to stderr and the
# journal in every scenario: kept in named_copy, checked in the first one,
# and left out of err and the journal the others compare.
finish_run() {
  wait "$pid"
  code=$?
  named_copy=$(grep -m1 '^mesupdate: the game is in the Wine prefix ' "$root/stderr")
  err=$(grep -v '^mesupdate: the game is in the Wine prefix ' "$root/stderr")
  shown=$(cat "$record" 2>/dev/null)
  [ -f "$journal" ] && sed -i '/^-t|mesupdate|--|the game is in the Wine prefix /d' "$journal"
}

# next_dialog TITLE: waits for a dialog titled TITLE shown by another process
# than the last one (X reuses window ids) and makes it the one answered;
# false if the run ends first or none comes.
next_dialog() {
  local i id owner
  for i in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      owner=$(xdotool getwindowpid "$id" 2>/dev/null) || continue
      [ "$owner" != "$dialog_pid" ] || continue
      window=$id dialog_pid=$owner
      sleep 0.5  # until it takes keys
      return 0
    done
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

press() { xdotool windowfocus --sync "$window" key "$1"; }

# answer NAME TITLE KEY [SCREENSHOT]: the next dialog, titled TITLE, gets KEY.
answer() {
  if ! next_dialog "$2"; then
    echo "FAIL $1: no dialog titled $2"
    scenario_ok=0
    return 1
  fi
  [ -z "${4:-}" ] || shoot "$4"
  press "$3"
}

shoot() {
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1" 2>/dev/null ||
    echo "  (screenshot $1 failed)"
}

# holds FILE TEXT: FILE contains TEXT, lines and all.
holds() { [[ "$(cat "$1" 2>/dev/null)" == *"$2"* ]]; }

expect_equal() {  # NAME WHAT ACTUAL EXPECTED
  [ "$3" = "$4" ] || report_mismatch "$1" "$2 was:" "$3" "$4"
}

# The English line under the question (and on stderr) naming the copy.
named_copy_of() {  # GAME_FOLDER
  echo "the game is in the Wine prefix $prefix (from \$WINEPREFIX); the archive to update: $1/mes.arc"
}

new_game() {  # NAME
  make_prefix "$1" win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"
  old=$root/$1.old
  cp "$game/mes.arc" "$old"
}

expect_unchanged() {  # NAME
  check "$1" "archive changed" cmp -s "$old" "$game/mes.arc"
  check "$1" "mes.arc_ written" test ! -e "$game/mes.arc_"
}

scenario_yes_updates() {
  local name=desktop-yes-updates; scenario_ok=1
  new_game $name
  local shots=("" "")
  if [ -n "${MES_SCREENSHOT_DIR:-}" ]; then
    mkdir -p "$MES_SCREENSHOT_DIR"
    shots=("$MES_SCREENSHOT_DIR/desktop-confirm.png" "$MES_SCREENSHOT_DIR/desktop-complete.png")
  fi
  launch "$root/bin-zenity"
  answer $name mesupdate alt+y "${shots[0]}" && answer $name mesupdate Return "${shots[1]}"
  finish_run
  check $name "exit code $code, expected 1" test "$code" = 1
  expect_equal $name "the record" "$shown" "$ASKED${NL}ANSWER${TAB}yes$NL$DONE"
  expect_equal $name "stderr" "$err" ""
  expect_equal $name "the copy named" "$named_copy" "mesupdate: $(named_copy_of "$game")"
  check $name "archive not updated" "$fixture" verify-update "$old" "$game/mes.arc" "$resources"
  finish $name
}

scenario_no_changes_nothing() {
  local name=desktop-no-changes-nothing; scenario_ok=1
  new_game $name
  launch "$root/bin-zenity"
  answer $name mesupdate alt+n
  finish_run
  check $name "exit code $code, expected 255" test "$code" = 255
  expect_equal $name "the record" "$shown" "$ASKED${NL}ANSWER${TAB}no"
  expect_equal $name "stderr" "$err" "mesupdate: $UNCHANGED"
  expect_equal $name "the journal" "$(cat "$journal")" "-t|mesupdate|--|$UNCHANGED|"
  expect_unchanged $name
  finish $name
}

# The failure messages come as warning dialogs titled ｱｯﾌﾟﾃﾞｰﾀ; their causes
# go to standard error and the journal.
scenario_failure_explained() {
  local name=desktop-failure-explained; scenario_ok=1
  new_game $name
  chmod a-w "$game/mes.arc"
  launch "$root/bin-zenity"
  answer $name mesupdate alt+y && answer $name ｱｯﾌﾟﾃﾞｰﾀ Return && answer $name ｱｯﾌﾟﾃﾞｰﾀ Return
  finish_run
  check $name "exit code $code, expected 2" test "$code" = 2
  local deleted="BOX${TAB}ｱｯﾌﾟﾃﾞｰﾀ${TAB}Mes.arc の削除に失敗しました。 5${TAB}ok${TAB}warning"
  local renamed="BOX${TAB}ｱｯﾌﾟﾃﾞｰﾀ${TAB}Mes.arc のﾘﾈｰﾑに失敗しました。 183${TAB}ok${TAB}warning"
  expect_equal $name "the record" "$shown" "$ASKED${NL}ANSWER${TAB}yes$NL$deleted$NL$renamed"
  local read_only="$game/mes.arc: mode 0444: read-only"
  local in_the_way="cannot rename $game/mes.arc_ to $game/mes.arc: File exists"
  # The dialog shows the cause under the Japanese text, which comes first, unchanged.
  check $name "the cause not under the message in the dialog" \
    holds "$root/zenity-args" "[--text=Mes.arc の削除に失敗しました。 5$NL$NL$read_only]"
  expect_equal $name "stderr" "$err" "mesupdate: $read_only${NL}mesupdate: $in_the_way"
  expect_equal $name "the journal" "$(cat "$journal")" "-t|mesupdate|--|$read_only|$NL-t|mesupdate|--|$in_the_way|"
  check $name "read-only archive changed" cmp -s "$old" "$game/mes.arc"
  finish $name
}

# Neither zenity nor kdialog, or no display: the answer is No, as before, and
# standard error and the journal say why.
scenario_no_dialog_program() {
  local name=no-dialog-program; scenario_ok=1
  new_game $name
  local prompt="[mesupdate] ${QUESTION//\\n/$NL} [y/N] "
  local why="no one could be asked: standard input is not a terminal, and neither zenity nor kdialog is installed to ask on the desktop, so the answer is No; install zenity, or run mesupdate in a terminal"
  launch "$root/bin-none"
  finish_run
  check $name "exit code $code, expected 255" test "$code" = 255
  expect_equal $name "stderr" "$err" "$prompt${NL}mesupdate: $why${NL}mesupdate: $UNCHANGED"
  expect_equal $name "the journal" "$(cat "$journal")" "-t|mesupdate|--|$why|$NL-t|mesupdate|--|$UNCHANGED|"
  expect_equal $name "the record" "$shown" "$ASKED${NL}ANSWER${TAB}no"
  expect_unchanged $name

  launch "$root/bin-zenity" -u DISPLAY
  finish_run
  check $name "no display: exit code $code, expected 255" test "$code" = 255
  check $name "no display: the reason not given: $err" \
    grep -qF 'mesupdate: no one could be asked: standard input is not a terminal and there is no desktop session ($DISPLAY and $WAYLAND_DISPLAY are unset)' <<<"$err"
  expect_unchanged $name
  finish $name
}

# A locale zenity cannot take Japanese arguments in (C, eucJP) still gets the
# question: zenity runs under a UTF-8 locale. A zenity that shows nothing
# (here: no display it can reach) is no No: the lines say why nothing was asked.
scenario_dialog_in_any_locale() {
  local name=dialog-in-any-locale; scenario_ok=1
  new_game $name
  launch "$root/bin-zenity" LC_ALL=C
  answer $name mesupdate alt+n
  finish_run
  check $name "LC_ALL=C: exit code $code, expected 255" test "$code" = 255
  expect_equal $name "LC_ALL=C: the record" "$shown" "$ASKED${NL}ANSWER${TAB}no"
  expect_equal $name "LC_ALL=C: stderr" "$err" "mesupdate: $UNCHANGED"

  launch "$root/bin-zenity" DISPLAY=:9999
  finish_run
  check $name "unreachable display: exit code $code, expected 255" test "$code" = 255
  check $name "unreachable display: the reason not given: $err" \
    grep -qE '^mesupdate: no one could be asked: zenity could not show the question \(exit status 1: .*display.*\), so the answer is No' <<<"$err"
  check $name "unreachable display: not in the journal" \
    grep -qF 'no one could be asked: zenity could not show the question' "$journal"
  expect_unchanged $name
  finish $name
}

# On a KDE desktop kdialog asks, with the caption as its title, and its
# warning box (--sorry) reports.
scenario_kdialog_on_kde() {
  local name=kdialog-on-kde; scenario_ok=1
  new_game $name
  launch "$root/bin-kde" XDG_CURRENT_DESKTOP=KDE
  finish_run
  check $name "exit code $code, expected 1" test "$code" = 1
  expect_equal $name "kdialog's arguments" "$(cat "$root/kdialog-args")" \
    "[--title=mesupdate][--yesno=${QUESTION//\\n/$NL}$NL$NL$(named_copy_of "$game")]$NL[--title=mesupdate][--sorry=「ミルカナ」のシステムが無事更新されました。]"
  check $name "archive not updated" "$fixture" verify-update "$old" "$game/mes.arc" "$resources"
  finish $name
}

# An answer piped in is read as before, on a desktop too: no dialog.
scenario_piped_answer_on_desktop() {
  local name=piped-answer-on-desktop; scenario_ok=1
  new_game $name
  rm -f "$record"
  printf 'y\n' | PATH="$root/bin-zenity" WINEPREFIX="$prefix" MESUPDATE_DIALOG_RECORD="$record" \
    "$timeout" 60 "$mesupdate" >/dev/null 2>"$root/stderr"
  code=$?
  check $name "exit code $code, expected 1" test "$code" = 1
  check $name "no terminal dialog" grep -qF '[y/N]' "$root/stderr"
  check $name "archive not updated" "$fixture" verify-update "$old" "$game/mes.arc" "$resources"
  finish $name
}

# Without WINEPREFIX the updater searches the Wine managers' folders of HOME.
# launch_searching HOME: as launch, in no prefix; standard output to a file.
launch_searching() {
  rm -f "$record" "$journal" "$root/zenity-args"
  window= dialog_pid=
  env -u WINEPREFIX PATH="$root/bin-zenity" HOME="$1" MESUPDATE_DIALOG_RECORD="$record" \
    "$setsid" -w "$mesupdate" </dev/null >"$root/stdout" 2>"$root/stderr" &
  pid=$!
}

# Two copies: a list dialog; the one chosen is updated, and the question
# says which copy it is under the Japanese text.
scenario_desktop_choose_copy() {
  local name=desktop-choose-copy; scenario_ok=1
  local home=$root/$name-home
  root=$home make_prefix .wine win32 'C:\\Mirkan' Mirkan
  make_archive "$game/mes.arc"; cp "$game/mes.arc" "$root/$name.wine.old"
  local wine_game=$game
  root=$home/Games make_prefix mirkan win64 'C:\\Mirkan' Mirkan 'Software\\Wow6432Node\\velk\\MIRKAN'
  make_archive "$game/mes.arc"; old=$root/$name.old; cp "$game/mes.arc" "$old"
  launch_searching "$home"
  # The list's cursor starts on the first row: Down chooses the second.
  answer $name mesupdate Down && press Return && answer $name mesupdate alt+y && answer $name mesupdate Return
  finish_run
  check $name "exit code $code, expected 1" test "$code" = 1
  check $name "no list dialog" grep -qF "[--list][--text=The game is installed in several Wine prefixes. Choose the copy to update:]" "$root/zenity-args"
  check $name "the list's rows" grep -qF "[1][Wine][$wine_game][original][$home/.wine][2][Lutris][$game][original][$prefix]" "$root/zenity-args"
  local found="the game is in the Lutris prefix $prefix; the archive to update: $game/mes.arc"
  check $name "the copy not named under the question" \
    holds "$root/zenity-args" "[--text=${QUESTION//\\n/$NL}$NL$NL$found]"
  expect_equal $name "the record" "$shown" "$ASKED${NL}ANSWER${TAB}yes$NL$DONE"
  expect_equal $name "stdout" "$(cat "$root/stdout")" "updated $game/mes.arc"
  check $name "the chosen copy not updated" "$fixture" verify-update "$old" "$game/mes.arc" "$resources"
  check $name "the other copy changed" cmp -s "$root/$name.wine.old" "$wine_game/mes.arc"
  finish $name
}

# None found: the not-installed box says where the search looked and what to do.
scenario_desktop_none_found() {
  local name=desktop-none-found; scenario_ok=1
  mkdir -p "$root/$name-home"
  launch_searching "$root/$name-home"
  answer $name mesupdate Return
  finish_run
  check $name "exit code $code, expected 255" test "$code" = 255
  check $name "the places not under the message" holds "$root/zenity-args" \
    "[--text=「ミルカナ」がインストールされていません。${NL}${NL}not installed: no Wine prefix names the game with its mes.arc (0 prefixes examined). Searched:${NL}  ~/.wine (Wine: a prefix)$NL"
  check $name "--prefix not named in the dialog" grep -qF "if the game is installed in another Wine prefix, name it: mesupdate --prefix DIR]" "$root/zenity-args"
  finish $name
}

scenario_yes_updates
scenario_no_changes_nothing
scenario_failure_explained
scenario_no_dialog_program
scenario_dialog_in_any_locale
scenario_kdialog_on_kde
scenario_piped_answer_on_desktop
scenario_desktop_choose_copy
scenario_desktop_none_found

echo "e2e-desktop: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
