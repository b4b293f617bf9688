#!/usr/bin/env bash
# The Linux build run without WINEPREFIX, as a player whose Wine manager made
# the prefix runs it: fake homes (HOME) laid out as Steam (Proton, a library
# elsewhere named in libraryfolders.vdf, Flatpak), Lutris (game
# configurations, ~/Games, Flatpak), Bottles (native, Flatpak), Heroic
# (configuration, its prefixes folder), winetricks and PlayOnLinux lay them
# out, each prefix made as the other scripts make them. Checks which archive
# is found, named and updated; the numbered list and the choice when there
# are several copies, --yes refusing then; where the search looked when it
# finds none; --prefix and a WINEPREFIX one level above pfx/; that loops of
# links, unreadable folders and damaged registry files are passed over.
# Usage: prefix_search_e2e.sh MESUPDATE ARCHIVE_FIXTURE RESOURCES_DIR
set -uo pipefail
source "$(dirname "$0")/scenario_lib.sh"
source "$(dirname "$0")/linux_prefix_lib.sh"
take_arguments "$@"
trap 'chmod -R u+rwx "$root" 2>/dev/null; rm -rf "$root"' EXIT
timeout=$(command -v timeout)

NL=$'\n'
QUESTION_END="よろしいですか。 [y/N] "
NOT_INSTALLED="[mesupdate] 「ミルカナ」がインストールされていません。"

# new_home NAME: an empty home folder; sets home.
new_home() {
  home=$root/$1-home
  mkdir -p "$home"
}

# game_in DIR [win32|win64]: a prefix at DIR whose registry names
# C:\Games\Mirkan (a 64-bit prefix stores the key under Wow6432Node, as a
# 32-bit installer writes it), with a sample archive there. Sets prefix,
# archive and old (a copy of the archive as it was).
game_in() {
  local dir=$1 arch=${2:-win32} key='Software\\velk\\MIRKAN'
  [ "$arch" = win64 ] && key='Software\\Wow6432Node\\velk\\MIRKAN'
  mkdir -p "$(dirname "$dir")"
  root=$(dirname "$dir") make_prefix "$(basename "$dir")" "$arch" 'C:\\Games\\Mirkan' Games/Mirkan "$key"
  archive=$prefix/drive_c/Games/Mirkan/mes.arc
  make_archive "$archive"
  old=$root/$(basename "$dir")-$RANDOM.old
  cp "$archive" "$old"
}

# A complete archive that carries the five payloads, as an update leaves it.
make_patched() {
  local source=$root/patched-source
  rm -rf "$source"; mkdir -p "$source"
  cp "$resources"/*.MES "$source"/
  printf 'an old message file' >"$source/SYSTEM.MES"
  "$mesarc" pack "$source" -o "$1" --force >/dev/null
}

# run_search INPUT [OPTION...]: the updater in $home, without WINEPREFIX and
# the XDG variables, INPUT piped in; sets out (stdout), err (stderr), code.
run_search() {
  local input=$1
  shift
  out=$(printf '%b' "$input" | env -u WINEPREFIX -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" \
    "$timeout" 60 "$mesupdate" "$@" 2>"$root/stderr")
  code=$?
  err=$(cat "$root/stderr")
}

expect_equal() {  # NAME WHAT ACTUAL EXPECTED
  [ "$3" = "$4" ] || report_mismatch "$1" "$2 was:" "$3" "$4"
}

# One copy found: named before the question, updated, named after.
expect_found_and_updated() {  # NAME MANAGER
  local found="mesupdate: the game is in the $2 prefix $prefix; the archive to update: $archive"
  check "$1" "exit code $code, expected 1" test "$code" = 1
  expect_equal "$1" "the first line on stderr" "$(head -1 <<<"$err")" "$found"
  check "$1" "no question after the line" grep -qF "$QUESTION_END" <<<"$err"
  expect_equal "$1" "stdout" "$out" "updated $archive"
  check "$1" "archive not updated" "$fixture" verify-update "$old" "$archive" "$resources"
}

# Each layout: name, the manager named, and how the game's prefix is laid out
# in $home (setting prefix and archive through game_in).
layout_wine() { game_in "$home/.wine"; }
layout_steam() { game_in "$home/.local/share/Steam/steamapps/compatdata/3000000001/pfx" win64; }
layout_steam_library() {
  # The library on another disk, named only in the install's list.
  mkdir -p "$home/.local/share/Steam/steamapps/compatdata"
  cat >"$home/.local/share/Steam/steamapps/libraryfolders.vdf" <<VDF
"libraryfolders"
{
	"0"
	{
		"path"		"$home/.local/share/Steam"
		"label"		""
		"apps"
		{
			"228980"		"0"
		}
	}
	"1"
	{
		"path"		"$root/other-disk/SteamLibrary"
		"label"		""
	}
}
VDF
  game_in "$root/other-disk/SteamLibrary/steamapps/compatdata/3000000002/pfx" win64
}
layout_steam_link() {
  # ~/.steam/steam as the link Steam makes, to an install outside the usual place.
  mkdir -p "$home/.steam"
  ln -s "$root/steam-elsewhere" "$home/.steam/steam"
  game_in "$root/steam-elsewhere/steamapps/compatdata/3000000003/pfx" win64
  prefix=$home/.steam/steam/steamapps/compatdata/3000000003/pfx  # as the search reaches it
}
layout_steam_flatpak() {
  game_in "$home/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/3000000004/pfx" win64
}
layout_lutris_config() {
  # The prefix anywhere, named (quoted, with a blank) in the game's configuration.
  mkdir -p "$home/.config/lutris/games"
  game_in "$root/lutris place/mirkan" win64
  printf "game:\n  exe: %s\n  prefix: '%s'\nsystem: {}\nwine:\n  version: lutris-7.2\n" \
    "$prefix/drive_c/Games/Mirkan/Mirkan.exe" "$prefix" >"$home/.config/lutris/games/mirkan-1733550000.yml"
}
layout_lutris_games() { game_in "$home/Games/mirkan" win64; }
layout_lutris_flatpak() {
  mkdir -p "$home/.var/app/net.lutris.Lutris/data/lutris/games"
  game_in "$root/lutris-flatpak/mirkan"
  printf 'game:\n  prefix: "%s"\n' "$prefix" >"$home/.var/app/net.lutris.Lutris/data/lutris/games/mirkan.yml"
}
layout_bottles() { game_in "$home/.local/share/bottles/bottles/Mirkan" win64; }
layout_bottles_flatpak() {
  game_in "$home/.var/app/com.usebottles.bottles/data/bottles/bottles/Mirkan" win64
}
layout_heroic_config() {
  # Heroic with Proton: the configured folder holds pfx/.
  mkdir -p "$home/.config/heroic/GamesConfig"
  game_in "$root/heroic-proton/Mirkan/pfx" win64
  printf '{\n  "Mirkan": {\n    "wineVersion": {"type": "proton"},\n    "winePrefix": "%s"\n  }\n}\n' \
    "${prefix%/pfx}" | sed 's|/|\\/|g' >"$home/.config/heroic/GamesConfig/Mirkan.json"
}
layout_heroic_prefixes() { game_in "$home/Games/Heroic/Prefixes/default/Mirkan" win64; }
layout_winetricks() { game_in "$home/.local/share/wineprefixes/mirkan"; }
layout_playonlinux() { game_in "$home/.PlayOnLinux/wineprefix/Mirkan"; }

scenario_each_layout() {
  local entry layout manager
  for entry in "wine|Wine" "steam|Steam (Proton)" "steam_library|Steam (Proton)" \
    "steam_link|Steam (Proton)" "steam_flatpak|Steam (Proton)" "lutris_config|Lutris" \
    "lutris_games|Lutris" "lutris_flatpak|Lutris" "bottles|Bottles" "bottles_flatpak|Bottles" \
    "heroic_config|Heroic" "heroic_prefixes|Heroic" "winetricks|winetricks" \
    "playonlinux|PlayOnLinux"; do
    layout=${entry%%|*} manager=${entry#*|}
    local name=layout-$layout; scenario_ok=1
    new_home "$name"
    "layout_$layout"
    run_search 'y\n'
    expect_found_and_updated "$name" "$manager"
    finish "$name"
  done
}

# Three copies: the terminal numbers them with their manager, folder and
# archive state, and the one chosen is the one updated.
scenario_several_copies() {
  local name=several-copies; scenario_ok=1
  new_home $name
  game_in "$home/.wine"; make_patched "$archive"; cp "$archive" "$old"
  local wine_prefix=$prefix wine_old=$old wine_archive=$archive
  game_in "$home/Games/mirkan" win64
  local lutris_prefix=$prefix lutris_old=$old lutris_archive=$archive
  game_in "$home/.local/share/bottles/bottles/Mirkan" win64
  printf 'not an archive' >"$archive"; cp "$archive" "$old"
  local bottles_prefix=$prefix bottles_old=$old

  run_search '2\ny\n'
  local list="mesupdate: the game is installed in 3 Wine prefixes:
mesupdate:   1  Wine  $wine_prefix/drive_c/Games/Mirkan  patched  (prefix $wine_prefix)
mesupdate:   2  Lutris  $lutris_prefix/drive_c/Games/Mirkan  original  (prefix $lutris_prefix)
mesupdate:   3  Bottles  $bottles_prefix/drive_c/Games/Mirkan  damaged  (prefix $bottles_prefix)"
  expect_equal $name "the list" "$(head -4 <<<"$err")" "$list"
  check $name "no prompt for a number" grep -qF "Which one to update? [1-3, anything else: none] " <<<"$err"
  prefix=$lutris_prefix archive=$lutris_archive old=$lutris_old
  check $name "exit code $code, expected 1" test "$code" = 1
  check $name "the choice not named" grep -qxF "Which one to update? [1-3, anything else: none] mesupdate: the game is in the Lutris prefix $prefix; the archive to update: $archive" <<<"$err"
  expect_equal $name "stdout" "$out" "updated $archive"
  check $name "the chosen copy not updated" "$fixture" verify-update "$old" "$archive" "$resources"
  check $name "another copy changed" cmp -s "$wine_old" "$wine_archive"

  # --yes cannot choose: nothing is read or written, --prefix is named, exit 2.
  cp "$lutris_old" "$lutris_archive"
  run_search '' --yes
  check $name "--yes: exit code $code, expected 2" test "$code" = 2
  check $name "--yes: the list not shown" grep -qF "mesupdate:   3  Bottles" <<<"$err"
  check $name "--yes: --prefix not named" grep -qxF "mesupdate: --yes cannot choose between them: nothing was changed; name one with --prefix, for example: mesupdate --yes --prefix $wine_prefix" <<<"$err"
  check $name "--yes: a question asked" test -z "$(grep -F "$QUESTION_END" <<<"$err")"
  check $name "--yes: an archive changed" cmp -s "$lutris_old" "$lutris_archive"
  check $name "--yes: an archive changed" cmp -s "$wine_old" "$wine_archive"

  # An answer that is no number of the list changes nothing.
  local answer
  for answer in '4\n' 'x\n' '' "$(head -c 5000 /dev/zero | tr '\0' 1)\n"; do
    run_search "$answer"
    check $name "answer '${answer:0:8}': exit code $code, expected 255" test "$code" = 255
    check $name "answer '${answer:0:8}': no line saying so" grep -qE "(^|\] )mesupdate: no copy was chosen: nothing was changed\$" <<<"$(tail -1 <<<"$err")"
    check $name "answer '${answer:0:8}': an archive changed" cmp -s "$lutris_old" "$lutris_archive"
  done

  # --prefix picks one without a search; so does WINEPREFIX.
  run_search 'y\n' --prefix "$bottles_prefix"
  check $name "--prefix: exit code $code, expected 2 (the damaged copy)" test "$code" = 2
  check $name "--prefix: the list shown" test -z "$(grep -F 'Wine prefixes:' <<<"$err")"
  finish $name
}

# Nothing found: the not-installed message, every place searched, each
# prefix examined and why it does not count, and what to do.
scenario_none_found() {
  local name=none-found; scenario_ok=1
  new_home $name
  root=$home make_prefix .wine win32 '' Mirkan                         # no key
  game_in "$home/Games/removed" win64; rm "$archive"                   # key, no archive
  local removed=$prefix
  run_search 'y\n'
  check $name "exit code $code, expected 255" test "$code" = 255
  expect_equal $name "the first lines" "$(head -3 <<<"$err")" "$NOT_INSTALLED
mesupdate: not installed: no Wine prefix names the game with its mes.arc (2 prefixes examined). Searched:
mesupdate:   ~/.wine (Wine: a prefix)"
  check $name "a place not named" grep -qxF "mesupdate:   ~/.PlayOnLinux/wineprefix (PlayOnLinux: */)" <<<"$err"
  check $name "~/.wine's reason not given" grep -qxF "mesupdate:   Wine prefix $home/.wine: no key HKEY_LOCAL_MACHINE\\SoftWare\\velk\\MIRKAN" <<<"$err"
  check $name "the missing archive not named" grep -qxF "mesupdate:   Lutris prefix $removed: the game's folder $removed/drive_c/Games/Mirkan holds no mes.arc" <<<"$err"
  expect_equal $name "the last line" "$(tail -1 <<<"$err")" "mesupdate: if the game is installed in another Wine prefix, name it: mesupdate --prefix DIR"
  check $name "something on stdout" test -z "$out"
  finish $name
}

# A WINEPREFIX or --prefix one level above pfx/ (Proton's compatdata/<id>).
scenario_pfx_one_level_up() {
  local name=pfx-one-level-up; scenario_ok=1
  new_home $name
  game_in "$root/$name/compatdata/3000000005/pfx" win64
  out=$(printf 'y\n' | WINEPREFIX=$root/$name/compatdata/3000000005 HOME=$home "$mesupdate" 2>"$root/stderr")
  code=$?
  err=$(cat "$root/stderr")
  check $name "WINEPREFIX: exit code $code, expected 1" test "$code" = 1
  expect_equal $name "WINEPREFIX: the first line" "$(head -1 <<<"$err")" \
    "mesupdate: \$WINEPREFIX ($root/$name/compatdata/3000000005) holds no system.reg; using $prefix, the prefix inside it (Proton keeps a game's prefix in compatdata/<id>/pfx)"
  expect_equal $name "WINEPREFIX: stdout" "$out" "updated $archive"
  cp "$old" "$archive"
  run_search '' -y -p "$root/$name/compatdata/3000000005"
  check $name "-p: exit code $code, expected 1" test "$code" = 1
  expect_equal $name "-p: stdout" "$out" "updated $archive"
  check $name "-p: archive not updated" "$fixture" verify-update "$old" "$archive" "$resources"
  run_search '' --prefix
  check $name "--prefix without a folder: exit code $code, expected 2" test "$code" = 2
  finish $name
}

# Links that loop or lead out to /, a Steam list naming /, damaged, deep and
# special registry files, unreadable folders: passed over, the game found.
scenario_hostile_places() {
  local name=hostile-places; scenario_ok=1
  new_home $name
  mkdir -p "$home/Games" "$home/.local/share/wineprefixes/fifo" "$home/.local/share/wineprefixes/dir/system.reg" \
    "$home/.local/share/wineprefixes/garbage" "$home/.local/share/wineprefixes/deep" "$home/.local/share/Steam/steamapps"
  ln -s "$home/Games" "$home/Games/loop"
  ln -s . "$home/Games/self"
  ln -s / "$home/Games/root"
  ln -s "$home/Games/b" "$home/Games/a"; ln -s "$home/Games/a" "$home/Games/b"
  printf '"libraryfolders" { "0" { "path" "/" } "1" { "path" "%s" } "2" { "path" "unterminated' \
    "$home" >"$home/.local/share/Steam/steamapps/libraryfolders.vdf"
  mkfifo "$home/.local/share/wineprefixes/fifo/system.reg"
  head -c 100000 /dev/urandom >"$home/.local/share/wineprefixes/garbage/system.reg"
  { printf 'WINE REGISTRY Version 2\n\n['; for _ in $(seq 12000); do printf 'a\\\\'; done; printf ']\n"x"="y"\n'; } \
    >"$home/.local/share/wineprefixes/deep/system.reg"
  game_in "$home/.PlayOnLinux/wineprefix/Mirkan"
  run_search 'y\n'
  expect_found_and_updated $name PlayOnLinux

  # Unreadable folders, as a player who is not root meets them.
  if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    cp "$old" "$archive"
    mkdir -p "$home/Games/locked/sub" "$home/.local/share/bottles/bottles"
    chown -R 65534:65534 "$root"
    chmod 755 "$root"
    chmod 000 "$home/Games/locked" "$home/.local/share/bottles/bottles"
    out=$(printf 'y\n' | env -u WINEPREFIX HOME="$home" setpriv --reuid=65534 --regid=65534 --clear-groups \
      "$timeout" 60 "$mesupdate" 2>"$root/stderr")
    code=$?
    err=$(cat "$root/stderr")
    chmod 755 "$home/Games/locked" "$home/.local/share/bottles/bottles"
    chown -R 0:0 "$root"
    chmod 700 "$root"
    expect_found_and_updated "$name (unreadable folders)" PlayOnLinux
  fi
  finish $name
}

scenario_each_layout
scenario_several_copies
scenario_none_found
scenario_pfx_one_level_up
scenario_hostile_places

echo "e2e-prefix-search: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
