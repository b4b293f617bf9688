#!/usr/bin/env bash
# Drives the mesarc command line end to end: archives are made with
# `mesarc pack`, broken ones with a small Python writer that knows the
# format, and every command's output and exit code is checked.
#
#   bash tests/tools/mesarc_cli.sh build/native/bin/mesarc build/native/bin/mesupdate
#
# The updater makes the archives that unpatch is tried on.
set -u

MESARC=$(readlink -f "${1:?usage: mesarc_cli.sh MESARC_BIN MESUPDATE_BIN}")
MESUPDATE=$(readlink -f "${2:?usage: mesarc_cli.sh MESARC_BIN MESUPDATE_BIN}")
if [ ! -x "$MESARC" ]; then
  echo "mesarc_cli.sh: $1 is not an executable"
  echo "mesarc-cli: 0 passed, 1 failed"
  exit 1
fi
HERE=$(cd "$(dirname "$0")" && pwd)
RESOURCES=$HERE/../../resources
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8

passed=0
failed=0
rc=0
out=
err=

# run ARGS...: runs mesarc, keeping its exit code, standard output and error.
run() {
  "$MESARC" "$@" >"$WORK/.out" 2>"$WORK/.err"
  rc=$?
  out=$(cat "$WORK/.out")
  err=$(cat "$WORK/.err")
}

# check DESCRIPTION COMMAND...: one test; on failure shows the last run.
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
    echo "  exit $rc"
    sed 's/^/  out: /' <<<"$out"
    sed 's/^/  err: /' <<<"$err"
  fi
}

exit_is() { [ "$rc" -eq "$1" ]; }
out_has() { grep -qF -- "$1" <<<"$out"; }
err_has() { grep -qF -- "$1" <<<"$err"; }
out_lacks() { ! grep -qF -- "$1" <<<"$out"; }
# One line, "mesarc: ...", and a failing exit code.
one_error() { [ "$rc" -ne 0 ] && [ "$(wc -l <<<"$err")" -eq 1 ] && [[ $err == "mesarc: "* ]]; }
same_bytes() { cmp -s "$1" "$2"; }
absent() { [ ! -e "$1" ]; }
no_leftovers() { [ -z "$(find "$1" -name '*.mesarc-new')" ]; }

# json_query FILE EXPRESSION: evaluates EXPRESSION on the parsed JSON list `e`.
json_query() { python3 -c 'import json,sys; e=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$1" "$2"; }

# make_archive PATH ENTRY...: writes an archive byte by byte. An ENTRY is
# NAME=DATA (placed after the previous data), NAME@OFFSET+SIZE (no data of
# its own), gap:N or tail:TEXT; a NAME given as hex:... is raw bytes.
make_archive() {
  python3 - "$@" <<'PY'
import struct, sys
path, items = sys.argv[1], sys.argv[2:]
entries, data, gap = [], b"", 0
def name_bytes(text):
    return bytes.fromhex(text[4:]) if text.startswith("hex:") else text.encode("cp932")
for item in items:
    if item.startswith("gap:"):
        gap += int(item[4:])
    elif item.startswith("tail:"):
        pass
    elif "@" in item:
        name, where = item.split("@")
        offset, size = where.split("+")
        entries.append([name_bytes(name), int(size), int(offset, 0), None])
    else:
        name, text = item.split("=", 1)
        entries.append([name_bytes(name), len(text), None, b"\xee" * gap + text.encode()])
        gap = 0
index_end = 4 + 32 * len(entries)
position = index_end
for entry in entries:
    if entry[3] is not None:
        entry[2] = position + entry[3].count(b"\xee")
        data += entry[3]
        position += len(entry[3])
data += b"\xee" * gap
for item in items:
    if item.startswith("tail:"):
        data += item[5:].encode()
index = b""
for name, size, offset, _ in entries:
    field = (name + b"\0" * 24)[:24]
    index += bytes(b ^ 0x6B for b in field)
    index += struct.pack("<II", size ^ 0x2C9E4A17, offset ^ 0x4B1D7E63)
open(path, "wb").write(struct.pack("<I", len(entries)) + index + data)
PY
}

# append_entry ARCHIVE NAME FILE [supersede]: adds an entry after the others,
# keeping the layout; with supersede, earlier entries of that name gain "__".
append_entry() {
  python3 - "$@" <<'PY'
import struct, sys
path, name, source = sys.argv[1], sys.argv[2].encode("cp932"), sys.argv[3]
supersede = len(sys.argv) > 4
old = open(path, "rb").read()
count = struct.unpack("<I", old[:4])[0]
index = []
for i in range(count):
    raw = old[4 + 32 * i: 36 + 32 * i]
    field = bytes(b ^ 0x6B for b in raw[:24])
    size, offset = struct.unpack("<II", raw[24:])
    index.append([field, size ^ 0x2C9E4A17, (offset ^ 0x4B1D7E63) + 32])
data_start = 4 + 32 * count
payload = open(source, "rb").read()
for entry in index:
    if supersede and entry[0].split(b"\0")[0] == name:
        entry[0] = (name + b"__" + b"\0" * 24)[:24]
index.append([(name + b"\0" * 24)[:24], len(payload), len(old) + 32])
out = struct.pack("<I", count + 1)
for field, size, offset in index:
    out += bytes(b ^ 0x6B for b in field) + struct.pack("<II", size ^ 0x2C9E4A17, offset ^ 0x4B1D7E63)
open(path, "wb").write(out + old[data_start:] + payload)
PY
}

cd "$WORK" || exit 1

# --- pack, then list and check what it made --------------------------------
mkdir in
printf 'bravo' >in/b.mes
printf 'alpha!' >in/a.mes
printf '' >in/Empty.Mes
printf 'charlie' >in/c.MES
run pack in -o plain.arc
check "pack succeeds" exit_is 0
check "pack reports the count" out_has "4 entries packed into plain.arc"
run list plain.arc
check "list succeeds" exit_is 0
check "list sorts and upper-cases names" \
  test "$(awk 'NR > 1 {print $2}' <<<"$out" | tr '\n' ' ')" = "A.MES B.MES C.MES EMPTY.MES "
check "list shows size and offset" grep -qE '^ +0  A\.MES +6 +132$' <<<"$out"
check "a packed archive has no flags" test "$(awk 'NR > 1 && NF > 4' <<<"$out")" = ""
run list plain.arc --json
printf '%s' "$out" >plain.json
check "list --json is valid JSON" test "$(json_query plain.json 'len(e)')" = 4
check "json offsets are back to back" \
  test "$(json_query plain.json 'all(e[i]["offset"] + e[i]["size"] == e[i+1]["offset"] for i in range(3))')" = True
check "json carries raw name bytes" test "$(json_query plain.json 'e[1]["name_hex"]')" = 422e4d4553
run check plain.arc
check "check passes a packed archive" exit_is 0
check "check says ok" out_has "plain.arc: ok, 4 entries"

# --- pack --order -----------------------------------------------------------
printf '# wanted first\r\nc.mes\r\n\r\n  A.MES  \nempty.mes\nB.MES\n' >order.txt
run pack in -o ordered.arc --order order.txt
check "pack --order succeeds" exit_is 0
run list ordered.arc
check "--order sets the order" \
  test "$(awk 'NR > 1 {print $2}' <<<"$out" | tr '\n' ' ')" = "C.MES A.MES EMPTY.MES B.MES "
printf 'A.MES\nNOPE.MES\n' >bad-order.txt
run pack in -o never.arc --order bad-order.txt
check "a missing listed file is refused" exit_is 1
check "the refusal names the line" err_has "bad-order.txt:2: NOPE.MES: no such file"
check "files the order leaves out are named" err_has "bad-order.txt: does not list Empty.Mes, b.mes, c.MES"
check "nothing is written after a refusal" absent never.arc
printf 'a.mes\nA.MES\n' >twice.txt
run pack in -o never.arc --order twice.txt
check "a name listed twice is refused" err_has "listed twice"

# --- pack refusals --------------------------------------------------------------
mkdir long && printf x >long/ABCDEFGHIJKLMNOPQRST.MES
run pack long -o never.arc
check "a 24-byte name is refused" one_error
check "the refusal says why" err_has "24 bytes"
mkdir twins && printf 1 >twins/x.mes && printf 2 >twins/X.MES
run pack twins -o never.arc
check "names equal once upper-cased are refused" err_has "the same entry name once upper-cased"
mkdir emoji && printf 1 >emoji/$'\xf0\x9f\x98\x80'.MES
run pack emoji -o never.arc
check "a name CP932 cannot hold is refused" err_has "cannot be written in CP932"
mkdir nested && printf 1 >nested/A.MES && mkdir nested/SUB
run pack nested -o never.arc
check "folders inside the input are refused in one message" \
  err_has "nested: holds a folder, which pack does not enter: SUB"
check "no archive after refusals" absent never.arc
cp in/a.mes a-copy.mes
run pack in -o in/a.mes
check "pack refuses to overwrite a file in its folder" test "$rc $err" = "1 mesarc: in/a.mes: exists (--force replaces it)"
check "the input is untouched" same_bytes in/a.mes a-copy.mes
run pack missing-dir -o never.arc
check "a missing folder is an error" one_error
check "a missing folder is said not to exist" err_has "missing-dir: does not exist"
cp plain.arc replaced.arc
printf 'zulu' >in/z.mes
run pack in -o replaced.arc
check "pack keeps an existing archive" test "$rc $err" = "1 mesarc: replaced.arc: exists (--force replaces it)"
check "the kept archive is untouched" same_bytes replaced.arc plain.arc
run pack in -o replaced.arc --force
check "pack --force replaces an existing archive" exit_is 0
check "the replacement has the new file" test "$(stat -c %s replaced.arc)" -gt "$(stat -c %s plain.arc)"
check "no temporary file is left" no_leftovers "$WORK"
rm in/z.mes
mkdir -p tidy/SUB tidy/SUB2 && printf 1 >tidy/A.MES && printf 2 >tidy/B.MES && printf h >tidy/.hidden
run pack tidy -o never.arc
check "every subfolder is named in one message" err_has "tidy: holds folders, which pack does not enter: SUB, SUB2"
check "nothing is written when subfolders are refused" absent never.arc
rmdir tidy/SUB tidy/SUB2
run pack tidy -o tidy.arc
check "hidden files are skipped and said so" test "$rc $err" = "0 mesarc: tidy/.hidden: skipped, a hidden file"
printf 'A.MES\nB.MES\n.hidden\n' >hidden-order.txt
run pack tidy -o never.arc --order hidden-order.txt
check "an order cannot pack a hidden file" err_has "hidden-order.txt:3: .hidden: a hidden file, never packed"

# --- names in CP932 ---------------------------------------------------------
mkdir jp && printf 'nihongo' >jp/日本語.mes && printf 'so' >jp/ソ.MES
run pack jp -o jp.arc
check "Japanese names pack" exit_is 0
run list jp.arc
check "list prints names as UTF-8" out_has "日本語.MES"
check "a 0x5C second byte is not a separator" out_has "ソ.MES"
run list jp.arc --json
check "json escapes non-ASCII" out_has '"name": "\u65e5\u672c\u8a9e.MES"'
check "json stores CP932 bytes" out_has '"name_hex": "93fa967b8cea2e4d4553"'
run extract jp.arc -o jp-out
check "Japanese names extract" exit_is 0
check "the extracted file keeps name and bytes" same_bytes jp-out/日本語.MES jp/日本語.mes
check "the 0x5C name extracts as one file" same_bytes jp-out/ソ.MES jp/ソ.MES
# テ is 0x83 0x65: the updater's lookup would turn the 'e' byte into 'E'.
mkdir unfindable && printf 1 >unfindable/テ.MES
run pack unfindable -o never.arc
check "a name the lookup cannot find is refused" err_has "ends in a lower-case letter byte"

# --- extract ------------------------------------------------------------------
run extract plain.arc -o all
check "extract succeeds" exit_is 0
check "extract reports the count" out_has "4 entries written to all"
check "extracted data is the packed file" same_bytes all/A.MES in/a.mes
check "an empty entry extracts empty" test -f all/EMPTY.MES -a ! -s all/EMPTY.MES
run extract plain.arc -o some b.MES c.mes
check "extract by name ignores case" same_bytes some/B.MES in/b.mes
check "only the named entries are written" test "$(ls some | tr '\n' ' ')" = "B.MES C.MES "
run extract plain.arc -o none NOTHERE.MES
check "an unknown name is an error" one_error
check "nothing is written for an unknown name" absent none

make_archive dups.arc T27C.MES=one T27C.MES__=old T27C.MES=two T27C.MES=three T27C.MES.1=real
run extract dups.arc -o dups
check "duplicates extract" exit_is 0
check "the first duplicate keeps the name" test "$(cat dups/T27C.MES)" = one
check "later duplicates are numbered by position" test "$(cat dups/T27C.MES.2)$(cat dups/T27C.MES.3)" = twothree
check "numbering steps over a real entry's name" test "$(cat dups/T27C.MES.1)" = real
check "superseded entries extract under their name" test "$(cat dups/T27C.MES__)" = old

make_archive unsafe.arc ../ESCAPE=x A/B=y OK.MES=fine CON=dev hex:410a42=ctl ABCDEFGHIJKLMNOPQRSTUVWX=long FAR.MES@9999+5
run extract unsafe.arc -o unsafe
check "refused entries make extract fail" exit_is 1
check "a path in a name is refused by entry" err_has "entry 0 (../ESCAPE): not extracted: the name holds '/'"
check "a device name is refused" err_has "entry 3 (CON): not extracted"
check "a control byte is refused, shown escaped" err_has 'entry 4 (A\x0aB): not extracted: the name holds a control byte'
check "an unterminated name is refused" err_has "entry 5 (ABCDEFGHIJKLMNOPQRSTUVWX): not extracted"
check "an out-of-bounds entry is refused" err_has "entry 6 (FAR.MES): not extracted: its data ends past"
check "safe entries are still written" test "$(cat unsafe/OK.MES)" = fine
check "nothing escapes the output folder" absent ESCAPE
check "only the safe entry is written" test "$(ls -A unsafe)" = OK.MES

# --- list flags and check on broken archives ---------------------------------------
make_archive broken.arc T27C.MES=new T27C.MES__=old T27C.MES=dup lower.mes=x gap:3 GAPPED.MES=g \
  ABCDEFGHIJKLMNOPQRSTUVWX=nul FAR.MES@4000+10 tail:zz
cp broken.arc broken-before.arc
run list broken.arc
check "list reads what the updater refuses" exit_is 0
check "list flags superseded" grep -qE '^ +1  T27C\.MES__ .* superseded$' <<<"$out"
check "list flags duplicate" grep -qE '^ +2  T27C\.MES .* duplicate$' <<<"$out"
check "list flags lowercase" grep -qE '^ +3  lower\.mes .* lowercase$' <<<"$out"
check "list flags a misplaced entry" grep -qE '^ +4  GAPPED\.MES .* misplaced$' <<<"$out"
check "list flags unterminated" grep -qE '^ +5  ABCDEFGHIJKLMNOPQRSTUVWX .* unterminated$' <<<"$out"
check "list flags out-of-bounds" grep -qE '^ +6  FAR\.MES .* out-of-bounds,misplaced$' <<<"$out"
run list broken.arc --json
printf '%s' "$out" >broken.json
check "json lists every entry" test "$(json_query broken.json 'len(e)')" = 7
check "json flags" test "$(json_query broken.json '[x["flags"] for x in e][5:]')" = \
  "[['unterminated'], ['out-of-bounds', 'misplaced']]"
run check broken.arc
check "check fails a broken archive" exit_is 1
check "check: unterminated name" out_has "entry 5 (ABCDEFGHIJKLMNOPQRSTUVWX): the name has no NUL"
check "check: out of bounds" out_has "entry 6 (FAR.MES): data at 4000..4010 ends past the end of the file"
check "check: gap" out_has "entry 4 (GAPPED.MES): data at 241, expected at 238 (a gap of 3 bytes)"
check "check: misplaced" out_has "entry 6 (FAR.MES): data at 4000, expected at 245"
check "check counts the problems" out_has "broken.arc: 4 problems"
check "check ignores names the reader accepts" out_lacks "entry 2"

make_archive trailing.arc A.MES=a tail:xyz
run check trailing.arc
check "bytes after the data fail check" exit_is 1
check "check reports trailing bytes" out_has "3 bytes after the last entry's data"

make_archive wraps.arc A.MES=a WRAP.MES@0xFFFFFFF0+32
run check wraps.arc
check "check reports 32-bit overflow" out_has "entry 1 (WRAP.MES): offset 0xfffffff0 + size 0x20 overflows 32 bits"

cp plain.arc cut.arc
dd if=/dev/null of=cut.arc bs=1 seek=140 2>/dev/null
run check cut.arc
check "a truncated archive fails check" exit_is 1
check "the truncated entry is named" out_has "ends past the end of the file (140)"
dd if=/dev/null of=cut.arc bs=1 seek=40 2>/dev/null
run check cut.arc
check "an index beyond the file is unreadable" exit_is 2
check "unreadable is one error line" one_error
check "it says first that it is no archive, then what the index needs" \
  err_has "cut.arc: not a message archive: an index of 4 entries needs 132 bytes, the file has 40"
printf '\x01\x00' >tiny.arc
run check tiny.arc
check "a file shorter than the count is unreadable" exit_is 2
run list tiny.arc
check "list of an unreadable archive fails" exit_is 2
run check no-such.arc
check "a missing archive is unreadable" exit_is 2
check "a missing archive is one error line" err_has "mesarc: no-such.arc: does not exist"
run check in
check "a folder is not an archive" exit_is 2

# --- status -------------------------------------------------------------------
mkdir patch
cp "$RESOURCES"/T27C.MES "$RESOURCES"/C_TALK00.MES "$RESOURCES"/C_TALK80.MES \
  "$RESOURCES"/C_TALK90.MES "$RESOURCES"/T09C.MES patch/
printf 'other' >patch/ZZZ.MES
run pack patch -o patched.arc
run status patched.arc
check "status: patched" exit_is 0
check "status prints patched" test "$out" = patched
printf 'x' >>patch/T09C.MES
rm patch/C_TALK80.MES
run pack patch -o partly.arc
run status partly.arc
check "status: partly patched fails" exit_is 1
check "status names the changed entry" out_has "T09C.MES: differs"
check "status names the missing entry" out_has "C_TALK80.MES: missing"
check "status leaves current entries out" out_lacks "T27C.MES"
run status plain.arc
check "status: not patched" exit_is 1
check "status prints not patched" test "$out" = "not patched"
# The updater's own rebuild: earlier entries of each name gain "__" and the
# payloads are appended, so the current entry is the first plain-named one.
cp partly.arc updated.arc
for name in T27C.MES C_TALK00.MES C_TALK80.MES C_TALK90.MES T09C.MES; do
  append_entry updated.arc "$name" "$RESOURCES/$name" supersede
done
run status updated.arc
check "status after the updater's rebuild: patched" test "$rc $out" = "0 patched"
run check updated.arc
check "a rebuilt archive keeps the layout" exit_is 0
# A later entry with the right bytes does not count: the lookup finds the first.
mkdir shadow
cp "$RESOURCES"/*.MES shadow/
printf 'stale' >shadow/T27C.MES
run pack shadow -o shadowed.arc
append_entry shadowed.arc T27C.MES "$RESOURCES/T27C.MES"
run status shadowed.arc
check "status follows the first entry of a name" out_has "T27C.MES: differs"
check "status lists only that entry" test "$(wc -l <<<"$out")" -eq 2
run status broken.arc
check "status of an archive the updater refuses" exit_is 2
check "status says why" err_has "the updater cannot read this archive"

# --- extract does not overwrite unless asked --------------------------------------
mkdir again && printf 'mine' >again/A.MES
run extract plain.arc -o again
check "extract skips a file that exists, and fails" test "$rc $(cat again/A.MES)" = "1 mine"
check "the skip is said" err_has "entry 0 (A.MES): skipped: again/A.MES exists (--force overwrites)"
run extract plain.arc -o again --force
check "--force overwrites" test "$rc $(cat again/A.MES)" = "0 alpha!"
printf 'outside' >outside.txt && rm again/A.MES && ln -s ../outside.txt again/A.MES
run extract plain.arc -o again --force
check "--force replaces a link, not what it leads to" \
  test "$rc $(cat outside.txt) $(cat again/A.MES)" = "0 outside alpha!" -a ! -L again/A.MES
run extract plain.arc -o plain.arc
check "an output folder that is a file is said to be one" err_has "plain.arc: is a file, not a folder"

# --- untrusted archives: bounded memory, one rule for names, case-blind duplicates --
# 300 MB whose count claims a bigger index: refused from its first four bytes.
printf '\xff\xff\xff\x00' >huge.arc && truncate -s 300M huge.arc
peak_kib=$(python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$MESARC" check huge.arc)
check "an index that does not fit is refused before it is read ($peak_kib KiB)" test "$peak_kib" -lt 150000
rm huge.arc
make_archive notcp932.arc hex:80=a hex:85404d=b a.mes=c A.MES=d
run check notcp932.arc
check "check refuses names that are not CP932" \
  test "$(grep -c 'the name is not valid CP932: extract refuses it' <<<"$out")" = 2
run list notcp932.arc
check "names differing only in ASCII case are duplicates" grep -qE '^ +3  A\.MES .* duplicate$' <<<"$out"
mkdir widths && printf 1 >widths/あいう.MES && printf 1 >widths/①.MES && printf 1 >widths/ｱｲｳ.MES && printf 1 >widths/AB.MES
run pack widths -o widths.arc
run list widths.arc
check "columns stay straight with wide and narrow two-byte names" test "$(python3 -c 'import sys, unicodedata as u
rows = sys.stdin.read().splitlines()[1:]
print(len({sum(1 + (u.east_asian_width(c) in "WF") for c in row) for row in rows}), len(rows))' <<<"$out")" = "1 4"

# --- unpatch undoes the updater's own update ------------------------------------------
# A Wine-style prefix the Linux updater reads: the registry names C:\Game.
prefix=$WORK/prefix
mkdir -p "$prefix/drive_c/Game" "$prefix/dosdevices"
ln -s ../drive_c "$prefix/dosdevices/c:"
printf '%s\n' 'WINE REGISTRY Version 2' '#arch=win32' '' '[Software\\velk\\MIRKAN] 1733550000' \
  '"InstPath"="C:\\Game"' >"$prefix/system.reg"
# update ARCHIVE: runs the updater on a copy of ARCHIVE, leaving ARCHIVE.updated.
update() {
  cp "$1" "$prefix/drive_c/Game/mes.arc"
  printf 'y\n' | WINEPREFIX=$prefix "$MESUPDATE" >/dev/null 2>&1
  cp "$prefix/drive_c/Game/mes.arc" "$1.updated"
}
# entries ARCHIVE: one line per entry, name, size and data, as hex.
entries() { python3 -c 'import struct, sys
raw = open(sys.argv[1], "rb").read()
for i in range(struct.unpack("<I", raw[:4])[0]):
    field = bytes(b ^ 0x6B for b in raw[4 + 32 * i: 28 + 32 * i])
    size, offset = (v ^ m for v, m in zip(struct.unpack("<II", raw[28 + 32 * i: 36 + 32 * i]), (0x2C9E4A17, 0x4B1D7E63)))
    print(field.split(b"\0")[0].hex(), size, raw[offset: offset + size].hex())' "$1"; }
make_archive original.arc T27C.MES=old EMPTY.MES= gap:3 日本語.MES=nihongo t09c.mes=lower T27C.MES=again C_TALK00.MES= A.MES=a
update original.arc
update original.arc.updated
cp original.arc.updated.updated twice-before.arc
run unpatch original.arc.updated.updated -o once-undone.arc
check "unpatch succeeds on an updated archive" exit_is 0
check "unpatch leaves its input alone" same_bytes original.arc.updated.updated twice-before.arc
check "unpatch undoes the second update" test "$(entries once-undone.arc)" = "$(entries original.arc.updated)"
run unpatch once-undone.arc -o undone.arc
check "unpatch twice gives back the original entries" test "$(entries undone.arc)" = "$(entries original.arc)"
run check undone.arc
check "the unpatched archive keeps the layout" exit_is 0
run unpatch undone.arc -o never.arc
check "an archive not updated is refused" test "$rc" = 1
check "the refusal says why" test "$err" = "mesarc: undone.arc: not patched: it carries none of this build's payloads, so there is no update to undo"
cp plain.arc wrong.arc
for name in T27C.MES C_TALK00.MES C_TALK80.MES C_TALK90.MES T09C.MES; do append_entry wrong.arc "$name" in/a.mes supersede; done
run unpatch wrong.arc -o never.arc
check "other payloads under the right names are refused" err_has "not patched by this build: entry 4 (T27C.MES) is not this build's payload"
run unpatch undone.arc -o undone.arc
check "unpatch will not write over its input" err_has "undone.arc: is one of the inputs; choose another output"
cp original.arc.updated kept.mesarc-new
run unpatch kept.mesarc-new -o kept
check "unpatch will not write through its input" test "$rc" = 1 -a ! -e kept
check "an input named like the temporary file is kept" same_bytes kept.mesarc-new original.arc.updated
rm -f kept.mesarc-new
cp original.arc.updated replaced.arc
run unpatch original.arc.updated -o replaced.arc
check "unpatch keeps an existing output" test "$rc $err" = "1 mesarc: replaced.arc: exists (--force replaces it)"
run unpatch original.arc.updated -o replaced.arc --force
check "unpatch --force replaces an existing output" test "$rc $(entries replaced.arc)" = "0 $(entries original.arc)"
check "no temporary file is left by unpatch" no_leftovers "$WORK"

# --- extract, edit, pack: the archive given back ---------------------------------
# Generated archives that check passes: lower case, dot names, repeats, "__"
# names, double-byte names, bytes kept after a name's NUL. Extract then pack
# must give each back byte for byte.
roundtrip=$(python3 - "$MESARC" <<'PY'
import os, random, struct, subprocess, sys, tempfile
mesarc, rng = sys.argv[1], random.Random(17)
names = [b"T27C.MES", b"t27c.mes", b".dot", b"_.dot", b"A.MES", b"A.MES.1", b"A.MES__", b"#HASH", b" LEAD",
         b"\x83\x5c.MES", b"\x93\xfa\x96\x7b.MES", b"x", b"ABCDEFGHIJKLMNOPQRS.MES"]
def build(entries):
    index, data, at = b"", b"", 4 + 32 * len(entries)
    for field, body in entries:
        index += bytes(b ^ 0x6B for b in field) + struct.pack("<II", len(body) ^ 0x2C9E4A17, at ^ 0x4B1D7E63)
        data, at = data + body, at + len(body)
    return struct.pack("<I", len(entries)) + index + data
def run(*args):
    return subprocess.run([mesarc, *args], capture_output=True).returncode
failures = []
with tempfile.TemporaryDirectory() as work:
    for case in range(30):
        entries = []
        for _ in range(rng.randrange(0, 9)):
            name = rng.choice(names)
            tail = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 24 - len(name)))) if rng.random() < 0.4 else b""
            field = (name + b"\0" + tail + b"\0" * 24)[:24]
            entries.append((field, bytes(rng.randrange(256) for _ in range(rng.randrange(0, 40)))))
        arc, out, again = (os.path.join(work, f"{case}{x}") for x in (".arc", "-x", "-again.arc"))
        open(arc, "wb").write(build(entries))
        steps = [run("check", arc), run("extract", arc, "-o", out), run("pack", out, "-o", again)]
        if steps != [0, 0, 0] or open(again, "rb").read() != open(arc, "rb").read():
            failures.append(f"case {case}: exits {steps}")
print(len(failures), *failures[:3])
PY
)
check "extract then pack gives back generated archives byte for byte" test "$roundtrip" = 0

make_archive clean.arc T27C.MES=old C_TALK00.MES=talk hex:412e4d455300ee01=a a.mes=lower EMPTY.MES= \
  C_TALK80.MES=80 C_TALK90.MES=90 T09C.MES=09
update clean.arc
update clean.arc.updated
run extract clean.arc.updated.updated -o twice
check "extract writes the order beside the entries" out_has "their order to twice/.mesarc-order"
check "repeated superseded names map back to themselves" grep -qP '^T27C\.MES__\tT27C\.MES__\.1$' twice/.mesarc-order
check "bytes after a name's NUL are in the order" grep -qP '^A\.MES\\x00\\xee\\x01\tA\.MES$' twice/.mesarc-order
run pack twice -o twice.arc
check "pack follows the order it finds" out_has "in the order of twice/.mesarc-order"
check "an archive updated twice packs back byte for byte" same_bytes twice.arc clean.arc.updated.updated
run status twice.arc
check "status on the repacked archive" test "$rc $out" = "0 patched"
run unpatch twice.arc -o twice-undone.arc
"$MESARC" unpatch clean.arc.updated.updated -o twice-undone-original.arc >/dev/null
check "unpatch on the repacked archive as on the original" same_bytes twice-undone.arc twice-undone-original.arc
printf 'changed!' >twice/A.MES
run pack twice -o edited.arc
run diff clean.arc.updated.updated edited.arc
check "an edit changes only that entry" test "$rc $out" = "1 changed  #2 A.MES; 1 -> 8 bytes
clean.arc.updated.updated -> edited.arc: 1 changed"
run check edited.arc
check "the edited archive keeps the layout" exit_is 0
printf 'NEW.MES\n' >>twice/.mesarc-order && printf 'new' >twice/new.mes
run pack twice -o added.arc
check "a file named alone in the order is stored upper-cased" grep -qE '^ +18  NEW\.MES ' <<<"$("$MESARC" list added.arc)"
printf 'other' >twice/other.mes
run pack twice -o never.arc
check "a file the order does not list is refused" err_has "twice/.mesarc-order: does not list other.mes"
run pack twice -o never.arc --order order.txt
check "--order wins over the order file" err_has "order.txt:2: c.mes: no such file in twice"
run extract clean.arc -o twice
check "extract keeps an order file that exists" err_has "twice/.mesarc-order: not written: exists"
run extract unsafe.arc -o unsafe-again
check "no order when entries are left out" err_has "no .mesarc-order written"

# --- diff -------------------------------------------------------------------------
run diff clean.arc clean.arc.updated
check "diff of an update fails" exit_is 1
check "diff shows the five superseded and five new entries" test "$(grep -c '^renamed  ' <<<"$out") $(grep -c '^added    ' <<<"$out") $(wc -l <<<"$out")" = "5 5 11"
check "diff names a superseded entry by position" out_has "renamed  #0 T27C.MES -> T27C.MES__"
check "diff names a new entry by position and size" out_has "added    #12 T09C.MES, 3955 bytes"
check "diff sums up" out_has "clean.arc -> clean.arc.updated: 5 renamed, 5 added"
run diff clean.arc.updated clean.arc --json
printf '%s' "$out" >diff.json
check "diff --json" test "$(json_query diff.json '[d["kind"] for d in e["differences"]].count("removed"), e["equal"]')" = "(5, False)"
run diff twice.arc clean.arc.updated.updated
check "diff of the same bytes succeeds" test "$rc $out" = "0 twice.arc and clean.arc.updated.updated: the same bytes"
run diff clean.arc in
check "diff of something unreadable" exit_is 2
run diff clean.arc cut.arc
check "a file that is no archive says so first" err_has "mesarc: cut.arc: not a message archive: "

# --- no output is clobbered ---------------------------------------------------------
mkdir gf && printf 1 >gf/A.MES
run pack gf -o gf/OUT.ARC
cp gf/OUT.ARC first-out.arc
run pack gf -o gf/OUT.ARC
check "pack into its own folder again needs --force" test "$rc $err" = "1 mesarc: gf/OUT.ARC: exists (--force replaces it)"
printf 'crash' >gf/OUT.ARC.mesarc-new
run pack gf -o gf/../gf/OUT.ARC --force
check "pack never packs its own output or temporary file" test "$rc $(sed -n 2p <<<"$err")" = "0 mesarc: gf/OUT.ARC.mesarc-new: skipped, the archive being written"
check "the archive holds only the folder's entry" same_bytes gf/OUT.ARC first-out.arc
rm -rf gf
# ナ is 0x83 0x69: its second byte is the letter i.
mkdir nana && printf 1 >nana/ナナ.MES
run pack nana -o never.arc
check "a name problem names the character, its bytes, why and what to do" \
  err_has "the character ナ (bytes 83 69) ends in a lower-case letter byte ('i'), which the updater's lookup upper-cases, so it could never find this entry; rename the file, or give it another entry name"
printf 'NANA.MES\tナナ.MES\n' >nana.order
run pack nana -o nana.arc --order nana.order
check "another entry name in the order file packs it" test "$rc $("$MESARC" list nana.arc | awk 'NR == 2 {print $2}')" = "0 NANA.MES"

# --- names that meet on disk, refusals that say why ---------------------------------
# NEC's 0x8754 and IBM's 0xFA4A are both Ⅰ; ａ (0x8281) and Ａ (0x8260) are
# one name where case is ignored. Each later one gets a file of its own.
make_archive meet.arc hex:8754=nec hex:fa4a=ibm hex:8281=small hex:8260=capital
run extract meet.arc -o meet
check "names that meet as files extract" exit_is 0
check "the second of two names that meet is numbered" \
  test "$(cat meet/Ⅰ)/$(cat meet/Ⅰ.1)/$(cat meet/ａ)/$(cat meet/Ａ.1)" = nec/ibm/small/capital
run pack meet -o meet-again.arc
check "and they pack back as they were" test "$rc" = 0 -a "$(cmp meet.arc meet-again.arc && echo same)" = same

make_archive damaged.arc A.MES=aaaa B.MES=bbbb
head -c -2 damaged.arc >cut-data.arc
run diff damaged.arc cut-data.arc
check "diff of an archive cut short is unreadable, as status says" \
  test "$rc $err" = "2 mesarc: cut-data.arc: the updater cannot read this archive (see mesarc check)"

mkdir -p wf && printf 1 >wf/A.MES
run pack wf -o nodir/x.arc
check "a write failure names its cause" test "$rc $err" = "1 mesarc: nodir/x.arc: cannot be written: No such file or directory"
make_archive big.arc "BIG.MES=$(head -c 3000 /dev/zero | tr '\0' x)"
(trap '' XFSZ; ulimit -f 1; exec "$MESARC" extract big.arc -o wf-out) >"$WORK/.out" 2>"$WORK/.err"
rc=$? err=$(cat "$WORK/.err")
check "an entry that cannot be written names the cause" err_has "entry 0 (BIG.MES): cannot write wf-out/BIG.MES: File too large"

printf 'BAD\\xZZ\tA.MES\n\x1b]2;owned\x07\n' >refused.order
run pack wf -o never.arc --order refused.order
check "a file refused on its line is not reported unlisted too" test "$rc" = 1 -a -z "$(grep 'does not list' <<<"$err")"
check "order text is echoed with its control bytes escaped" err_has 'refused.order:2: \x1b]2;owned\x07: no such file'
check "no control byte of the order reaches the terminal" test "$(LC_ALL=C tr -d '\n\040-\176\200-\377' <<<"$err" | wc -c)" = 0

run unpatch plain.arc -o never.arc

# --- no command changes its input ----------------------------------------------
check "list, extract, check and status leave the archive alone" same_bytes broken.arc broken-before.arc

# --- usage ------------------------------------------------------------------------
run
check "no command is a usage error" one_error
run frobnicate x
check "an unknown command is a usage error" one_error
check "an unknown command is named, with the commands" \
  err_has "unknown command 'frobnicate'; the commands are list, extract, check, status, pack, unpatch, diff"
run --version
check "--version prints the version" grep -qE '^mesarc [0-9]+\.[0-9]+\.[0-9]+ \(commit ([0-9a-f]{40}(-modified)?)\)$' <<<"$out"
run --help
check "--help succeeds" exit_is 0
check "--help lists the commands" out_has "extract"
run pack --help
check "pack --help shows its options" out_has "--order"

echo "mesarc-cli: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
