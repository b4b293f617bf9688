#!/usr/bin/env bash
# The Linux build when others touch the game folder: two and three updaters
# started together, a process holding the archive open, a folder left in an
# odd state (links, FIFOs), a file system without RENAME_NOREPLACE, stop
# signals during the write and during the swap. In every case the folder must
# hold a valid archive (the old one or a patched one), the exit code must say
# which, and nothing outside the folder may change.
# Usage: sharing_e2e.sh MESUPDATE ARCHIVE_FIXTURE RESOURCES_DIR
# (mesarc, beside MESUPDATE, is checked for its own output files too)
set -uo pipefail
source "$(dirname "$0")/scenario_lib.sh"
source "$(dirname "$0")/linux_prefix_lib.sh"
take_arguments "$@"
holders=()
trap 'kill "${holders[@]}" 2>/dev/null; rm -rf "$root"' EXIT

DELETE_FAILED="[ｱｯﾌﾟﾃﾞｰﾀ] Mes.arc の削除に失敗しました。"
RENAME_FAILED="[ｱｯﾌﾟﾃﾞｰﾀ] Mes.arc のﾘﾈｰﾑに失敗しました。"
DONE="[mesupdate] 「ミルカナ」のシステムが無事更新されました。"
NOT_FOUND='[ｱｯﾌﾟﾃﾞｰﾄ] C:\Mirkan\mes.arc が見つかりません。'
WRITE_FAILED='[ｱｯﾌﾟﾃﾞｰﾄ] C:\Mirkan\mes.arc_ - ファイル書き込みエラー。'

# A prefix whose InstPath is C:\Mirkan; sets prefix and game.
new_prefix() { make_prefix "$1" win32 'C:\\Mirkan' Mirkan; }

# The old archive, a few megabytes so that runs overlap, and what one, two
# and three updates make of it.
make_references() {
  "$fixture" make "$root/old.arc" SYSTEM.MES:1500000 T27C.MES:900000 C_TALK01.MES:777 \
    T09C.MES:64 EMPTY.MES:0 T10A.MES:2000000
  new_prefix references
  cp "$root/old.arc" "$game/mes.arc"
  local times
  for times in once twice thrice; do
    WINEPREFIX=$prefix "$mesupdate" --yes >/dev/null 2>&1
    cp "$game/mes.arc" "$root/$times.arc"
  done
}

# run NAME [WRAPPER...]: one updater answering yes in the current prefix;
# sets out (the dialog, on stderr) and code.
# Under strace, the sanitizers' leak check cannot run and would set the exit code.
traced=(env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null)
run() {
  local name=$1
  shift
  out=$(WINEPREFIX=$prefix timeout 60 "$@" "$mesupdate" --yes 2>&1 >/dev/null)
  code=$?
}

expect_line() {  # NAME LINE
  grep -qxF -- "$2" <<<"$out" || report_mismatch "$1" "no line '$2' in:" "$out" "$2"
}

expect_code() {  # NAME CODE
  check "$1" "exit code $code, expected $2" test "$code" = "$2"
}

expect_unchanged() {  # NAME
  check "$1" "mes.arc changed" cmp -s "$root/old.arc" "$game/mes.arc"
}

expect_patched() {  # NAME
  check "$1" "mes.arc is not the update" "$fixture" verify-update "$root/old.arc" "$game/mes.arc" "$resources"
  check "$1" "mes.arc is not a plain file" test -f "$game/mes.arc" -a ! -L "$game/mes.arc"
}

# Another process keeps the archive open until the scenario ends it.
hold_archive_open() {
  sleep 100 <"$game/mes.arc" &
  holders+=($!)
  local i
  for i in $(seq 100); do
    [ /proc/$!/fd/0 -ef "$game/mes.arc" ] && return
    sleep 0.05
  done
}

fresh() {  # NAME: a prefix with the old archive
  scenario_ok=1
  new_prefix "$1"
  cp "$root/old.arc" "$game/mes.arc"
}

# What the folder holds: old, once, twice or thrice; empty when none.
archive_state() {
  local state
  for state in old once twice thrice; do
    if cmp -s "$root/$state.arc" "$game/mes.arc"; then echo "$state"; return; fi
  done
}

# N updaters at once, several times: never a lost or broken archive; a run
# says it updated only when a patched archive is in place; a leftover
# mes.arc_ is always a complete archive.
scenario_together() {  # COUNT TRIALS
  local count=$1 trials=$2 name="$1-updaters-together" trial i
  scenario_ok=1
  new_prefix "$name"
  for trial in $(seq "$trials"); do
    rm -f "$game"/*
    cp "$root/old.arc" "$game/mes.arc"
    local pids=() codes=()
    for i in $(seq "$count"); do
      WINEPREFIX=$prefix timeout 60 "$mesupdate" --yes >/dev/null 2>"$root/together.$i" &
      pids+=($!)
    done
    for i in "${!pids[@]}"; do
      wait "${pids[$i]}"
      codes+=($?)
    done
    local state updated=0 code
    state=$(archive_state)
    [ -n "${SHARING_VERBOSE:-}" ] && echo "trial $trial: $state, exit ${codes[*]}, $(ls "$game" | paste -sd" ")"
    for code in "${codes[@]}"; do
      [ "$code" = 1 ] && updated=1
      check "$name" "trial $trial: exit code $code" test "$code" = 1 -o "$code" = 2
    done
    check "$name" "trial $trial: mes.arc is no valid archive (exit codes ${codes[*]})" test -n "$state"
    if [ "$state" = old ]; then
      check "$name" "trial $trial: old archive, but a run said it updated" test "$updated" = 0
    elif [ -n "$state" ]; then
      check "$name" "trial $trial: patched ($state), but no run said so" test "$updated" = 1
    fi
    if [ -e "$game/mes.arc_" ]; then
      check "$name" "trial $trial: a broken mes.arc_ left" "$fixture" check "$game/mes.arc_" >/dev/null
    fi
    check "$name" "trial $trial: other files: $(ls "$game")" \
      test -z "$(ls "$game" | grep -vxE 'mes\.arc_?')"
  done
  finish "$name"
}

# The game (any process) holds the archive open: Windows refuses the delete
# (32), then the rename onto the old file (183); so does this build.
scenario_held_open() {
  local name=archive-held-open
  fresh $name
  hold_archive_open
  run $name
  kill "${holders[-1]}"
  expect_line $name "$DELETE_FAILED 32"
  expect_line $name "$RENAME_FAILED 183"
  expect_code $name 2
  expect_unchanged $name
  check $name "mes.arc_ is not the complete update" \
    "$fixture" verify-update "$root/old.arc" "$game/mes.arc_" "$resources"
  finish $name
}

# Stale names where the new file goes: each is removed as a name, never
# written through, and what it pointed at stays as it was.
scenario_stale_links() {
  local name kind
  for kind in hard-link link-to-archive link-outside; do
    name=stale-mes.arc_-$kind
    fresh $name
    printf 'not the game' >"$root/outside"
    case $kind in
      hard-link) ln "$game/mes.arc" "$game/mes.arc_" ;;
      link-to-archive) ln -s mes.arc "$game/mes.arc_" ;;
      link-outside) ln -s "$root/outside" "$game/mes.arc_" ;;
    esac
    run $name
    expect_line $name "$DONE"
    expect_code $name 1
    expect_patched $name
    check $name "mes.arc_ left behind" test ! -e "$game/mes.arc_" -a ! -L "$game/mes.arc_"
    check $name "a file outside the folder changed" test "$(cat "$root/outside")" = 'not the game'
    finish $name
  done
}

# A FIFO never hangs the run: as the archive it is not found, as the new
# file it is refused, and the archive stays.
scenario_fifos() {
  local name=fifo-mes.arc
  scenario_ok=1
  new_prefix $name
  mkfifo "$game/mes.arc"
  run $name
  expect_line $name "$NOT_FOUND"
  expect_code $name 2
  check $name "FIFO replaced" test -p "$game/mes.arc"
  finish $name

  name=fifo-mes.arc_
  fresh $name
  mkfifo "$game/mes.arc_"
  run $name
  expect_line $name "$WRITE_FAILED"
  expect_code $name 2
  expect_unchanged $name
  check $name "FIFO removed" test -p "$game/mes.arc_"
  finish $name
}

# A file system that refuses RENAME_NOREPLACE: after the delete, a plain
# rename; with the old archive still there, the rename is refused (183).
scenario_no_rename_noreplace() {
  local name=no-rename-noreplace
  local no_noreplace=("${traced[@]}" -e trace=renameat2 -e inject=renameat2:error=EINVAL)
  fresh $name
  run $name "${no_noreplace[@]}"
  expect_line $name "$DONE"
  expect_code $name 1
  expect_patched $name
  finish $name

  name=no-rename-noreplace-archive-held
  fresh $name
  hold_archive_open
  run $name "${no_noreplace[@]}"
  kill "${holders[-1]}"
  expect_line $name "$RENAME_FAILED 183"
  expect_code $name 2
  expect_unchanged $name
  finish $name
}

# A stop signal while the new file is written removes it, keeps the archive
# and exits 2; one that comes during the delete lets the swap finish.
scenario_signals() {
  local name=signal-during-write
  fresh $name
  run $name "${traced[@]}" -e trace=fsync -e inject=fsync:signal=SIGINT:when=1
  expect_code $name 2
  expect_unchanged $name
  check $name "mes.arc_ left behind" test ! -e "$game/mes.arc_"
  check $name "no English line on stderr: $out" grep -q 'stopped by SIGINT' <<<"$out"
  finish $name

  name=signal-during-swap
  fresh $name
  run $name "${traced[@]}" -e trace=unlink -e inject=unlink:signal=SIGTERM:when=1
  expect_line $name "$DONE"
  expect_code $name 1
  expect_patched $name
  check $name "no English line on stderr: $out" grep -q 'SIGTERM arrived' <<<"$out"
  finish $name
}

# mesarc's output goes through a temporary file of its own in the same way.
scenario_mesarc_output() {
  local name=mesarc-output-stale-link
  scenario_ok=1
  new_prefix $name
  printf 'not the game' >"$root/outside"
  ln -s "$root/outside" "$game/out.arc.mesarc-new"
  timeout 60 "$mesarc" unpatch "$root/once.arc" -o "$game/out.arc" >/dev/null 2>&1
  code=$?
  expect_code $name 0
  check $name "a file outside the folder changed" test "$(cat "$root/outside")" = 'not the game'
  check $name "output is not the old archive" cmp -s "$root/old.arc" "$game/out.arc"
  finish $name

  name=mesarc-output-fifo
  scenario_ok=1
  mkfifo "$game/fifo.arc.mesarc-new"
  timeout 60 "$mesarc" unpatch "$root/once.arc" -o "$game/fifo.arc" >/dev/null 2>&1
  code=$?
  check $name "exit code $code: hung or succeeded" test "$code" != 0 -a "$code" != 124
  check $name "FIFO removed" test -p "$game/fifo.arc.mesarc-new"
  finish $name
}

# The new file's name reaches the disk before the old archive is deleted: the
# game folder is flushed between the new file's flush and the delete.
scenario_flush_before_delete() {
  local name=folder-flushed-before-delete folder calls
  fresh $name
  folder=$(realpath "$game")
  ASAN_OPTIONS=detect_leaks=0 WINEPREFIX=$prefix timeout 60 strace -f -qq -y -o "$root/calls" \
    -e trace=fsync,unlink "$mesupdate" --yes >/dev/null 2>&1
  calls=$(sed -nE 's/.*(fsync|unlink)\(([0-9]+<)?([^>]*)>?\) = 0$/\1 \3/p' "$root/calls" | paste -sd' ')
  check $name "no flush of the folder between the new file's and the delete: $calls" \
    grep -qF "fsync $folder/mes.arc_ fsync $folder unlink \"$prefix/dosdevices/c:/Mirkan/mes.arc\"" <<<"$calls"
  finish $name
}

# stopped_at_first_fsync: one updater, stopped when it flushes its new file
# (the old archive still open); sets pid (the updater) and tracer. Stopped
# means: the new file is whole (the stream flushed just before the fsync)
# and the process stays in a tracing stop.
stopped_at_first_fsync() {
  WINEPREFIX=$prefix timeout 60 "${traced[@]}" -e trace=fsync -e inject=fsync:signal=SIGSTOP:when=1 \
    "$mesupdate" --yes >/dev/null 2>"$root/stopped.err" &
  tracer=$!
  local i seen=0 whole
  whole=$(stat -c %s "$root/once.arc")
  for i in $(seq 400); do
    pid=$(pgrep -P "$(pgrep -P $tracer)" 2>/dev/null)
    if [ -n "$pid" ] && [ "$(stat -c %s "$game/mes.arc_" 2>/dev/null)" = "$whole" ] &&
       grep -qE '^State:\s+[tT]' "/proc/$pid/status" 2>/dev/null; then
      seen=$((seen + 1))
      [ $seen = 3 ] && return
    else
      seen=0
    fi
    sleep 0.05
  done
}

# Another archive put in place while the updater works: mesarc refuses to
# replace the archive it reads; one moved there anyway is not deleted, and
# nothing is swapped.
scenario_replaced_meanwhile() {
  local name=mesarc-pack-during-update tracer pid
  fresh $name
  "$mesarc" extract "$root/old.arc" -o "$root/extracted" >/dev/null 2>&1
  stopped_at_first_fsync
  timeout 60 "$mesarc" pack "$root/extracted" -o "$game/mes.arc" --force >/dev/null 2>"$root/pack.err"
  code=$?
  kill -CONT "$pid"
  wait "$tracer"
  check $name "mesarc replaced the archive being updated (exit $code)" test "$code" != 0
  check $name "no cause: $(cat "$root/pack.err")" grep -q 'in use by another mesupdate or mesarc' "$root/pack.err"
  expect_patched $name
  finish $name

  name=archive-moved-in-during-update
  fresh $name
  printf 'a backup' >"$root/backup"
  cp "$root/backup" "$root/backup.kept"
  stopped_at_first_fsync
  mv "$root/backup" "$game/mes.arc"
  kill -CONT "$pid"
  wait "$tracer"
  code=$?
  out=$(cat "$root/stopped.err")
  expect_line $name "$DELETE_FAILED 32"
  expect_line $name "$RENAME_FAILED 183"
  expect_code $name 2
  check $name "the archive moved in was deleted" cmp -s "$root/backup.kept" "$game/mes.arc"
  finish $name
}

# Under umask 077 (or as root in the player's prefix) the new archive keeps
# the old one's mode and owner, so the player can still read it.
scenario_mode_and_owner() {
  local name=mode-and-owner-kept
  fresh $name
  chmod 0644 "$game/mes.arc"
  [ "$(id -u)" = 0 ] && chown 4321:4322 "$game/mes.arc"
  out=$(umask 077; WINEPREFIX=$prefix timeout 60 "$mesupdate" --yes 2>&1 >/dev/null)
  code=$?
  expect_code $name 1
  check $name "mode $(stat -c %a "$game/mes.arc"), expected 644" test "$(stat -c %a "$game/mes.arc")" = 644
  if [ "$(id -u)" = 0 ]; then
    check $name "owner $(stat -c %u:%g "$game/mes.arc")" test "$(stat -c %u:%g "$game/mes.arc")" = 4321:4322
  fi
  finish $name
}

# A game folder the player may write but not read (mode 0300) cannot be
# opened for its flush: the update is flushed another way and reported done.
scenario_unreadable_folder() {
  local name=unreadable-game-folder as_player=()
  fresh $name
  if [ "$(id -u)" = 0 ]; then
    chmod a+rx "$root"
    chown -R nobody "$prefix"
    as_player=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  chmod 0300 "$game"
  run $name "${as_player[@]}"
  chmod 0755 "$game"
  expect_line $name "$DONE"
  expect_code $name 1
  expect_patched $name
  finish $name
}

make_references
scenario_together 2 8
scenario_together 3 8
scenario_held_open
scenario_stale_links
scenario_fifos
scenario_no_rename_noreplace
scenario_signals
scenario_mesarc_output
scenario_flush_before_delete
scenario_replaced_meanwhile
scenario_mode_and_owner
scenario_unreadable_folder

echo "e2e-sharing: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
