# shellcheck shell=bash
# Shared by the shell tests: `expect WHAT EXPECTED ACTUAL` checks that two texts are equal, `check`
# counts a check and `fail` reports it failed; `report` prints the counts and fails on a failure;
# `need TOOL...` skips the test (status 77) when a tool is missing.
failures=0 checks=0
fail() { printf 'FAILED: %s\n' "$*"; failures=$((failures + 1)); }
check() { checks=$((checks + 1)); }
report() {
    printf '%d passed, %d failed\n' $((checks - failures)) "$failures"
    [[ $failures -eq 0 ]]
}
expect() {
    check
    [[ $3 == "$2" ]] || fail "$1: expected [$2], got [$3]"
}
need() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || { echo "$tool is missing"; exit 77; }
    done
}
