# Wine and a display for the end-to-end scripts that run the Windows build
# (sourced). Sets wine and wineserver; the caller sets WINEPREFIX.

# scripts/test.sh names the loader in MES_WINE_LOADER: the 32-bit one, natively
# or under qemu-user, or the 64-bit one where neither starts. Run alone, the
# 32-bit one where the kernel starts it.
if [ -n "${MES_WINE_LOADER:-}" ]; then
  wine=$MES_WINE_LOADER
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine=/usr/lib/wine/wine
else
  wine=/usr/lib/wine/wine64
fi
wineserver=/usr/lib/wine/wineserver
# Wine's own tools (reg, wineboot) run on the 64-bit loader, natively: under
# qemu-user every start of a 32-bit program costs seconds, and the tests
# need only the programs under test to be 32-bit.
wine_tool=/usr/lib/wine/wine64
export WINELOADER=$wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Code page 932 for the ANSI side, so Japanese paths reach the registry intact.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

xvfb_pid=
stop_wine_and_display() {
  "$wineserver" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}

# A display number no one uses; Xvfb refuses a taken one, so try the next.
start_xvfb() {
  local display
  for display in $(seq 90 189); do
    [ -e /tmp/.X$display-lock ] || [ -e /tmp/.X11-unix/X$display ] && continue
    Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    local i
    for i in $(seq 50); do
      # Ours must still run: a display that answers after ours gave up is
      # another run's, which took the number first.
      kill -0 "$xvfb_pid" 2>/dev/null || break
      if xdpyinfo -display :$display >/dev/null 2>&1 && kill -0 "$xvfb_pid" 2>/dev/null; then
        export DISPLAY=:$display
        return 0
      fi
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  done
  return 1
}

# A fresh prefix at $WINEPREFIX; the server has exited, so system.reg is on disk.
# A copy of $MES_WINE_TEMPLATE when the test run made one: booting a prefix
# takes far longer than copying it.
make_wine_prefix() {
  # A server still running for an earlier prefix would outlive its deletion.
  if [ -d "$WINEPREFIX" ]; then "$wineserver" -k >/dev/null 2>&1 || true; fi
  rm -rf "$WINEPREFIX"
  if [ -f "${MES_WINE_TEMPLATE:-/nonexistent}/system.reg" ]; then
    cp -a "$MES_WINE_TEMPLATE" "$WINEPREFIX"
  else
    boot_wine_prefix
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { echo "cannot make the Wine prefix" >&2; exit 1; }
}

# The 64-bit loader boots the prefix; where its 32-bit step could not start
# (no 32-bit support in the kernel), syswow64 stays empty and gets the same
# files that step would have installed.
boot_wine_prefix() {
  "$wine_tool" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  local syswow64=$WINEPREFIX/drive_c/windows/syswow64
  if [ -d "$syswow64" ] && [ ! -f "$syswow64/kernel32.dll" ]; then
    cp -a /usr/lib/i386-linux-gnu/wine/i386-windows/. "$syswow64/"
  fi
}

# InstPath under the game's key in both registry views (a 32-bit build reads
# the other one), written under ja_JP.UTF-8 so Japanese folders arrive intact.
set_install_path() {
  local view
  for view in /reg:64 /reg:32; do
    LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine_tool" reg add 'HKLM\SoftWare\velk\MIRKAN' \
      /v InstPath /t REG_SZ /d "$1" /f $view </dev/null >/dev/null 2>&1 ||
      { echo "cannot write InstPath" >&2; exit 1; }
  done
}

# Windows form of a host path, through Wine's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
