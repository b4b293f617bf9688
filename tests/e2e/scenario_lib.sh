# Bookkeeping shared by the end-to-end scenario scripts (sourced). A scenario
# sets scenario_ok=1, records failures with check/report_mismatch, and ends
# with finish NAME; the totals are in passed and failed.
passed=0
failed=0

check() {  # check NAME WHAT COMMAND...
  local name=$1 what=$2
  shift 2
  if "$@"; then return 0; fi
  echo "FAIL $name: $what"
  scenario_ok=0
}

# report_mismatch NAME HEADLINE ACTUAL EXPECTED
report_mismatch() {
  echo "FAIL $1: $2"
  printf '%s\n' "$3" | sed 's/^/    /'
  echo "  expected:"
  printf '%s\n' "$4" | sed 's/^/    /'
  scenario_ok=0
}

finish() {
  if [ "$scenario_ok" = 1 ]; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}
