#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan + UBSan) in build/fuzz
# and runs them one after another, each on one core under nice:
#   scripts/fuzz.sh [MINUTES]      # each target for MINUTES (default 60)
# A target also stops after FUZZ_RUNS inputs (default 10 million). New inputs
# collect in build/fuzz/corpus/<target> (kept between runs; the committed
# seeds in fuzz/corpus stay as they are); a crash leaves its input in
# build/fuzz/artifacts/. One line of figures per target, then
#   fuzz: N passed, M failed
# Settings: FUZZ_TARGETS (names without _fuzzer), FUZZ_RUNS, FUZZ_SECONDS (overrides
# MINUTES), FUZZ_WORK (folder for new inputs), JOBS (build jobs, default 2).
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
minutes=${1:-60}
seconds=${FUZZ_SECONDS:-$((minutes * 60))}
runs=${FUZZ_RUNS:-10000000}
targets=${FUZZ_TARGETS:-archive regfile winepath codepage mesarc launcherconfig}
work=${FUZZ_WORK:-$build/corpus}
jobs=${JOBS:-2}

mkdir -p "$build/artifacts"
names=$(for t in $targets; do printf '%s_fuzzer ' "$t"; done)
# shellcheck disable=SC2086
if ! cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" \
      >"$build/configure.log" 2>&1 ||
   ! cmake --build "$build" -j"$jobs" --target $names >"$build/build.log" 2>&1; then
  tail -n 20 "$build/build.log" 2>/dev/null
  echo "could not build the fuzz targets (see $build/configure.log, $build/build.log)"
  echo "fuzz: 0 passed, 1 failed"
  exit 1
fi

# The path target makes a small Wine prefix under TMPDIR; a crash leaves it
# behind, so it goes into a folder removed at the end.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/mesfuzz-files-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

options_for() {
  case $1 in
    regfile) echo "-dict=$root/fuzz/regfile.dict" ;;
    archive|mesarc) echo "-max_len=8192" ;;
  esac
}

passed=0 failed=0
for target in $targets; do
  log=$build/$target.log
  mkdir -p "$work/$target"
  started=$(date +%s)
  # shellcheck disable=SC2046
  TMPDIR=$scratch nice "$build/${target}_fuzzer" "$work/$target" "$root/fuzz/corpus/$target" \
      $(options_for "$target") -runs="$runs" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
      >"$log" 2>&1
  status=$?
  elapsed=$(( $(date +%s) - started ))
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
  echo "$target: ${inputs:-?} inputs in ${elapsed} s, ${speed:-?}/s, ${coverage:-cov: ?}"
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    grep -E 'ERROR|is wrong|SUMMARY|Test unit written' "$log" | head -5
    echo "$target stopped with status $status (see $log)"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
