#!/usr/bin/env bash
# The look for other processes that hold the archive open must not hang on a
# file system whose server has stopped (sshfs after a network drop, a stuck
# FUSE mount): a process holds a descriptor on such a mount while the
# updater and mesarc replace the archive, with nobody else holding it (the
# kernel says so at once) and with another process holding it (then each
# descriptor is looked at). Needs root and /dev/fuse (a FUSE
# server of our own, without libfuse); skipped (77) otherwise.
# Usage: dead_fuse_e2e.sh MESUPDATE ARCHIVE_FIXTURE RESOURCES_DIR
set -uo pipefail
source "$(dirname "$0")/scenario_lib.sh"
source "$(dirname "$0")/linux_prefix_lib.sh"
if [ "$(id -u)" != 0 ] || [ ! -c /dev/fuse ] || ! command -v python3 >/dev/null; then
  echo "e2e-dead-fuse: skipped (needs root, /dev/fuse and python3)"
  exit 77
fi
take_arguments "$@"
mount_point=$root/dead
server=
cleanup() {
  umount -l "$mount_point" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT

# A FUSE server that answers only the start of its mount and then nothing,
# and holds the mount's root open.
mkdir "$mount_point"
python3 - "$mount_point" >"$root/server.out" 2>&1 <<'PY' &
import ctypes, os, signal, struct, sys
mount_point = sys.argv[1]
device = os.open("/dev/fuse", os.O_RDWR)
libc = ctypes.CDLL(None, use_errno=True)
options = f"fd={device},rootmode=40000,user_id=0,group_id=0".encode()
if libc.mount(b"deadfuse", mount_point.encode(), b"fuse", 0, options) != 0:
    sys.exit("mount: " + os.strerror(ctypes.get_errno()))
request = os.read(device, 1 << 17)
length, opcode, unique = struct.unpack_from("<IIQ", request)
if opcode != 26:  # FUSE_INIT
    sys.exit(f"expected INIT, got opcode {opcode}")
reply = struct.pack("<IIIIHHIIHHII", 7, 31, 0, 0, 0, 0, 4096, 1, 0, 0, 0, 0) + bytes(24)
os.write(device, struct.pack("<IiQ", 16 + len(reply), 0, unique) + reply)
held = os.open(mount_point, os.O_PATH)
print("ready", flush=True)
signal.pause()
PY
server=$!
for i in $(seq 100); do
  grep -q ready "$root/server.out" && break
  sleep 0.1
done
if ! grep -q ready "$root/server.out"; then
  echo "e2e-dead-fuse: skipped (no FUSE mount: $(cat "$root/server.out"))"
  exit 77
fi

# The bound only ends a hang; the look itself takes milliseconds.
scenario_ok=1
name=update-beside-a-dead-mount
make_prefix "$name" win32 'C:\\Mirkan' Mirkan
make_archive "$game/mes.arc"
WINEPREFIX=$prefix timeout -s KILL 60 "$mesupdate" --yes >/dev/null 2>&1
code=$?
check $name "exit code $code (137: hung on the dead mount)" test "$code" = 1
finish $name

scenario_ok=1
name=mesarc-beside-a-dead-mount
"$mesarc" unpatch "$game/mes.arc" -o "$game/old.arc" >/dev/null 2>&1
timeout -s KILL 60 "$mesarc" unpatch "$game/mes.arc" -o "$game/old.arc" --force >/dev/null 2>&1
code=$?
check $name "exit code $code (137: hung on the dead mount)" test "$code" = 0
finish $name

# Someone does hold the archive (a later process than the server, so the
# look passes the dead descriptor first): refused, and the holder named.
scenario_ok=1
name=held-archive-beside-a-dead-mount
sleep 1000 <"$game/mes.arc" &
holder=$!
out=$(WINEPREFIX=$prefix timeout -s KILL 60 "$mesupdate" --yes 2>&1 >/dev/null)
code=$?
kill $holder
check $name "exit code $code (137: hung on the dead mount)" test "$code" = 2
check $name "holder not named: $out" grep -qF "held open by PID $holder (sleep)" <<<"$out"
finish $name

echo "e2e-dead-fuse: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
