# How this machine runs the 32-bit Windows build under Wine (sourced by
# scripts/test.sh). Sets wine32_mode to one of
#   native  the kernel starts Wine's 32-bit loader itself
#   qemu    it cannot: the loader runs under qemu-user, handed to it through a
#           binfmt_misc entry registered for this run only
#   none    neither works: the caller falls back to the 64-bit build
# MES_WINE32=native|qemu|none forces a mode (to try the qemu path on a machine
# that needs none). wine32_release undoes what the qemu mode set up; the caller
# runs it on every exit.

wine32_loader=/usr/lib/wine/wine
qemu_i386=/usr/bin/qemu-i386-static
binfmt_dir=/proc/sys/fs/binfmt_misc
# One entry per run, under a name of its own: two runs at once each remove
# only theirs, and one that was killed leaves a name the next run can clear.
binfmt_name=mesupdate-qemu-i386-$$
binfmt_entry=$binfmt_dir/$binfmt_name
wine32_mounted_binfmt=
wine32_registered=

# i386 ELF executables and shared objects, as qemu's binfmt list has them.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# With any i386 entry registered (ours from another run, or a distribution's
# qemu-i386), the kernel would hand the loader to qemu: not native.
wine32_native_works() {
  ! ls "$binfmt_dir" 2>/dev/null | grep -q 'i386' && "$wine32_loader" --version >/dev/null 2>&1
}

# Entries of runs that no longer exist (killed before they could clean up).
wine32_clear_stale_entries() {
  local entry pid
  for entry in "$binfmt_dir"/mesupdate-qemu-i386-*; do
    [ -e "$entry" ] || continue
    pid=${entry##*-}
    kill -0 "$pid" 2>/dev/null || echo -1 >"$entry" 2>/dev/null
  done
}

# The kernel hands i386 programs to qemu: Wine starts the updater from the
# message-box driver through CreateProcess, which needs this. F opens qemu now
# (it works in any mount namespace), P keeps the program's own argv[0].
wine32_register_qemu() {
  [ -x "$qemu_i386" ] || { echo "no $qemu_i386 (package qemu-user-static)" >&2; return 1; }
  if [ ! -e "$binfmt_dir/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt_dir" 2>/dev/null || {
      echo "cannot mount binfmt_misc" >&2
      return 1
    }
    wine32_mounted_binfmt=1
  fi
  wine32_clear_stale_entries
  printf ':%s:M::%s:%s:%s:FP' "$binfmt_name" "$i386_magic" "$i386_mask" "$qemu_i386" \
    >"$binfmt_dir/register" 2>/dev/null || { echo "cannot register $binfmt_name" >&2; return 1; }
  wine32_registered=1
}

wine32_release() {
  if [ -n "$wine32_registered" ] && [ -e "$binfmt_entry" ]; then
    echo -1 >"$binfmt_entry" && echo "== removed the binfmt entry $binfmt_name"
  fi
  unset WINELOADERNOEXEC QEMU_RESERVED_VA
  wine32_registered=
  # Unmounted only when no other run's entry is left in it.
  if [ -n "$wine32_mounted_binfmt" ] && ! ls "$binfmt_dir" | grep -q '^mesupdate-qemu-i386-'; then
    umount "$binfmt_dir" 2>/dev/null
    wine32_mounted_binfmt=
  fi
}

# qemu 7.2 ignores MAP_FIXED_NOREPLACE, so without a reserved address space
# Wine's start-up reservation crawls for minutes; 0x81000000 starts in
# seconds. WINELOADERNOEXEC keeps the loader from re-executing itself natively.
wine32_use_qemu() {
  export WINELOADERNOEXEC=1 QEMU_RESERVED_VA=0x81000000
}

wine32_choose() {
  local wanted=${MES_WINE32:-}
  if [ -z "$wanted" ] || [ "$wanted" = native ]; then
    if wine32_native_works; then
      wine32_mode=native
      return
    fi
    [ "$wanted" = native ] && { wine32_mode=none; return; }
  fi
  # Whether a program then really starts is only known with a prefix: the
  # caller tries one and calls wine32_release when it does not.
  if [ "$wanted" != none ] && wine32_register_qemu; then
    wine32_use_qemu
    wine32_mode=qemu
    return
  fi
  wine32_mode=none
}
