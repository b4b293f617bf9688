#!/usr/bin/env bash
# Builds the archive fuzzer with clang in build/fuzz and runs it for a bounded
# time over the seed corpus in fuzz/corpus. Exits non-zero when it finds a
# crash (the input is kept in build/fuzz/crash-*). The last line is
#   fuzz: N passed, M failed
# Settings: FUZZ_RUNS (default 200000), FUZZ_SECONDS (default 60), JOBS (default 2).
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
runs=${FUZZ_RUNS:-200000}
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}

finish() {
  if [ "$1" -eq 0 ]; then echo "fuzz: 1 passed, 0 failed"; else echo "fuzz: 0 passed, 1 failed"; fi
  exit "$1"
}

mkdir -p "$build"
if ! cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" \
      >"$build/configure.log" 2>&1 ||
   ! cmake --build "$build" -j"$jobs" --target archive_fuzzer >"$build/build.log" 2>&1; then
  tail -n 20 "$build/build.log" 2>/dev/null
  echo "could not build the fuzzer (see $build/configure.log, $build/build.log)"
  finish 1
fi

# New inputs go to a scratch folder, so the committed seeds stay as they are;
# the fuzzer's own files go to another, removed even when it crashes.
work=$(mktemp -d "${TMPDIR:-/tmp}/mesfuzz-corpus-XXXXXX")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/mesfuzz-files-XXXXXX")
trap 'rm -rf "$work" "$scratch"' EXIT

TMPDIR=$scratch "$build/archive_fuzzer" "$work" "$root/fuzz/corpus" \
    -runs="$runs" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/" -print_final_stats=1 >"$build/run.log" 2>&1
status=$?
tail -n 12 "$build/run.log"
if [ "$status" -ne 0 ]; then
  echo "the fuzzer stopped with status $status (see $build/run.log)"
  finish 1
fi
finish 0
