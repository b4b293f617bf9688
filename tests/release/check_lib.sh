# PASS/FAIL lines and the closing count of the release checks (sourced).
# The caller sets suite, the word before the closing "N passed, M failed".
passed=0
failed=0

check() {  # WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "PASS $what"
    passed=$((passed + 1))
  else
    echo "FAIL $what"
    failed=$((failed + 1))
  fi
}

finish() {
  echo "$suite: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}
