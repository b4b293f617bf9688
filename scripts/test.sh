#!/usr/bin/env bash
# Checks that includes point down the layers, builds both targets and runs
# every test: the native unit and end-to-end tests (the desktop dialogs too),
# the reproducibility of the shipped Windows programs and the release packages,
# the Windows tests under Wine on the shipped 32-bit build, the fuzz smoke run.
# Ends with one line "N passed, M failed" over every suite; exits non-zero on
# any failure.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh || exit 1

passed=0
failed=0
log_dir=build/test-logs
mkdir -p "$log_dir"

# Adds a ctest run's counts (from its summary line) to the totals.
count_ctest() {
  local log=$1 summary total bad
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$summary" ]; then
    failed=$((failed + 1))
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# Adds a script's closing "N passed, M failed" line to the totals.
count_plain() {
  local log=$1 line
  line=$(grep -E '^([A-Za-z0-9-]+: )?[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + $(sed -E 's/^([A-Za-z0-9-]+: )?([0-9]+) passed.*/\2/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")))
}

build() {
  local preset=$1
  echo "== build $preset"
  if ! { cmake --preset "$preset" >"$log_dir/configure-$preset.log" 2>&1 &&
         cmake --build --preset "$preset" >"$log_dir/build-$preset.log" 2>&1; }; then
    tail -40 "$log_dir/configure-$preset.log" "$log_dir/build-$preset.log"
    echo "build of $preset failed"
    failed=$((failed + 1))
    return 1
  fi
}

run_ctest() {
  local preset=$1
  echo "== test $preset"
  ctest --preset "$preset" 2>&1 | tee "$log_dir/test-$preset.log" | grep -E 'tests passed|Failed|\*\*\*|Not Run' || true
  count_ctest "$log_dir/test-$preset.log"
}

echo "== include direction"
bash scripts/check_includes.sh 2>&1 | tee "$log_dir/includes.log" | tail -20
count_plain "$log_dir/includes.log"

build native && run_ctest native
echo "== the Linux build started without a terminal (zenity dialogs on Xvfb)"
bash tests/e2e/desktop_e2e.sh build/native/bin 2>&1 | tee "$log_dir/e2e-desktop.log" |
  grep -E '^(PASS|FAIL|e2e-desktop)'
count_plain "$log_dir/e2e-desktop.log"
win32_built=
if build win32; then
  win32_built=1
  file build/win32/bin/mesupdate.exe
  echo "== reproducible build (win32 preset, a second time in another folder)"
  bash tests/release/reproducible.sh 2>&1 | tee "$log_dir/reproducible.log" |
    grep -E '^(PASS|FAIL|reproducible)'
  count_plain "$log_dir/reproducible.log"
  echo "== release packages (scripts/release.sh)"
  bash tests/release/packages.sh 2>&1 | tee "$log_dir/packages.log" |
    grep -E '^(PASS|FAIL|packages|  )'
  count_plain "$log_dir/packages.log"
fi
# The Windows tests run the shipped 32-bit build: natively where the kernel
# starts 32-bit programs, else under qemu-user (a binfmt entry registered for
# this run only and removed on every exit), else, as a last resort, the 64-bit
# build.
source tests/wine/wine32_mode.sh
trap wine32_release EXIT
trap 'exit 130' INT TERM HUP

# One prefix booted per run; every Windows suite starts from a copy of it.
# Under qemu it must also start a 32-bit program for real.
make_template_prefix() {
  local template=$PWD/build/wine-template
  (
    export WINEPREFIX=$template
    source tests/e2e/wine_lib.sh
    rm -rf "$WINEPREFIX"
    boot_wine_prefix
    [ -f "$WINEPREFIX/system.reg" ] || exit 1
    if [ "$1" = qemu ]; then
      "$wine" cmd /c exit 7 >/dev/null 2>&1
      [ $? -eq 7 ] || { echo "a 32-bit program does not start under qemu" >&2; exit 1; }
      "$wineserver" -w
    fi
  ) || return 1
  export MES_WINE_TEMPLATE=$template
}

windows=
if [ -n "$win32_built" ]; then
  wine32_choose
  echo "== Windows tests: 32-bit Wine mode: $wine32_mode"
  if [ "$wine32_mode" != none ]; then
    export MES_WINE_LOADER=/usr/lib/wine/wine
    if make_template_prefix "$wine32_mode"; then
      windows=win32
    else
      wine32_release
    fi
  fi
fi
if [ -z "$windows" ] && [ -n "$win32_built" ]; then
  echo "== Wine cannot start the 32-bit build here, not even under qemu: the Windows tests run the 64-bit build"
  export MES_WINE_LOADER=/usr/lib/wine/wine64
  wine32_mode=none
  build win64 && make_template_prefix none && windows=win64
fi
if [ -n "$windows" ]; then
  export MES_RUN_LOG=$PWD/$log_dir/windows-runs.log
  rm -f "$MES_RUN_LOG"
  run_ctest "$windows"
  echo "== end-to-end under Wine ($windows)"
  bash tests/e2e/windows_e2e.sh "build/$windows/bin" build/native/bin 2>&1 |
    tee "$log_dir/e2e-windows.log" | grep -E '^(PASS|FAIL|e2e-windows)'
  count_plain "$log_dir/e2e-windows.log"
  echo "== end-to-end under Wine ($windows), three system code pages"
  bash tests/e2e/windows_locales_e2e.sh "build/$windows/bin" build/native/bin 2>&1 |
    tee "$log_dir/e2e-windows-locales.log" | grep -E '^(PASS|FAIL|e2e-windows-locales)'
  count_plain "$log_dir/e2e-windows-locales.log"
  echo "== the same scenarios on both builds (Linux, and $windows under Wine)"
  bash tests/e2e/differential_e2e.sh "build/$windows/bin" build/native/bin 2>&1 |
    tee "$log_dir/e2e-differential.log" | grep -E '^(PASS|FAIL|e2e-differential)'
  count_plain "$log_dir/e2e-differential.log"
  echo "== what the Windows tests ran"
  bash tests/wine/runs_summary.sh "$MES_RUN_LOG" "$windows" "$wine32_mode" "build/$windows/bin/mesupdate.exe" 2>&1 |
    tee "$log_dir/windows-runs-summary.log"
  count_plain "$log_dir/windows-runs-summary.log"
  wine32_release
fi

if [ -x scripts/fuzz_smoke.sh ]; then
  echo "== fuzz smoke run"
  bash scripts/fuzz_smoke.sh 2>&1 | tee "$log_dir/fuzz.log" | tail -3
  count_plain "$log_dir/fuzz.log"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
