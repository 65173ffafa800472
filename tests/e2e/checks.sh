# Counters shared by the shell tests: `check` counts a check, `fail` reports a failed one, `report`
# prints the closing "N passed, N failed" line and returns non-zero when anything failed.
failures=0
checks=0

fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}

check() {
    checks=$((checks + 1))
}

report() {
    printf '%d passed, %d failed\n' $((checks - failures)) "$failures"
    [[ $failures -eq 0 ]]
}
