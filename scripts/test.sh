#!/usr/bin/env bash
# Checks that includes point down the layers, builds both targets and runs
# every test: the native unit and end-to-end tests (the desktop dialogs too),
# the Windows tests under Wine, the reproducibility of the shipped Windows
# programs, the fuzz smoke run. Ends with one line "N passed, M failed" over
# every suite; exits non-zero on any failure.
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

# Debian's Wine runs 32-bit programs only where the kernel runs 32-bit ELF
# binaries; elsewhere the same tests run from the 64-bit Windows build.
wine_runs_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

echo "== include direction"
bash scripts/check_includes.sh 2>&1 | tee "$log_dir/includes.log" | tail -20
count_plain "$log_dir/includes.log"

build native && run_ctest native
echo "== the Linux build started without a terminal (zenity dialogs on Xvfb)"
bash tests/e2e/desktop_e2e.sh build/native/bin 2>&1 | tee "$log_dir/e2e-desktop.log" |
  grep -E '^(PASS|FAIL|e2e-desktop)'
count_plain "$log_dir/e2e-desktop.log"
if build win32; then
  file build/win32/bin/mesupdate.exe
  echo "== reproducible build (win32 preset, a second time in another folder)"
  bash tests/release/reproducible.sh 2>&1 | tee "$log_dir/reproducible.log" |
    grep -E '^(PASS|FAIL|reproducible)'
  count_plain "$log_dir/reproducible.log"
fi
windows=win32
if ! wine_runs_32bit; then
  echo "== Wine cannot start 32-bit programs here: Windows tests run from the win64 build"
  windows=win64
  build win64 || windows=
fi
if [ -n "$windows" ]; then
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
fi

if [ -x scripts/fuzz_smoke.sh ]; then
  echo "== fuzz smoke run"
  bash scripts/fuzz_smoke.sh 2>&1 | tee "$log_dir/fuzz.log" | tail -3
  count_plain "$log_dir/fuzz.log"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
