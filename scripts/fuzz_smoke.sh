#!/usr/bin/env bash
# The fuzz smoke run of scripts/test.sh: every target for a fixed number of
# inputs from its seeds (at most a minute each), new inputs thrown away.
# A crash keeps its input in build/fuzz/artifacts/. The last line is
#   fuzz: N passed, M failed
# Settings: FUZZ_RUNS (default 50000 per target), FUZZ_SECONDS (default 60), JOBS.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/mesfuzz-corpus-XXXXXX")
trap 'rm -rf "$work"' EXIT

FUZZ_RUNS=${FUZZ_RUNS:-50000} FUZZ_SECONDS=${FUZZ_SECONDS:-60} FUZZ_WORK=$work \
  bash "$root/scripts/fuzz.sh"
