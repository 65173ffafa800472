# shellcheck shell=bash
# Shared by the shell tests: `check` counts a check, `fail` reports a failed one, `report` prints
# the closing "N passed, N failed" line and returns non-zero when anything failed.
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

# expect <what> <expected> <actual>: one check that the texts are equal.
expect() {
    check
    [[ $3 == "$2" ]] || fail "$1: expected [$2], got [$3]"
}

# need <tool>...: skips the test (status 77) when a tool is missing.
need() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || { echo "$tool is missing"; exit 77; }
    done
}

# man_renders_cleanly <page file>: man -l renders it without a warning (when man is installed).
man_renders_cleanly() {
    command -v man >/dev/null || return 0
    expect "man --warnings -l $1" "" \
        "$(MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null)"
}

# scratch_page <tag> <murelpage-sim>: sets scratch (a new temporary directory), page and lock
# (names unique to this run); at exit murelpage-sim removes the page and the directory goes. A
# relative murelpage-sim path is taken inside the scratch directory.
scratch_page() {
    scratch=$(mktemp -d)
    page="/velkor-$1-$$-page"
    lock="/velkor-$1-$$-lock"
    scratch_sim=$2
    [[ $scratch_sim == /* ]] || scratch_sim=$scratch/$scratch_sim
    trap '"$scratch_sim" remove --page="$page" --pagelock="$lock" >/dev/null 2>&1; rm -rf "$scratch"' EXIT
}

# on_page <page> <lock> <block file> <murelpage-sim> <velkor> [command prefix...]: murelpage-sim
# writes the block into the page, velkor reads back its version, an entry and the CRC verdict.
on_page() {
    local page=$1 lock=$2 block=$3 sim=$4 velkor=$5
    shift 5
    local names=(--page="$page" --pagelock="$lock")
    check
    "$@" "$sim" write "${names[@]}" --block="$block" || { fail "$sim write failed"; return; }
    expect "$velkor --getver" $'Compiled version: 2, stored version: 2\nSUCCESS' \
        "$("$@" "$velkor" "${names[@]}" --getver 2>&1)"
    expect "$velkor --get" $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' \
        "$("$@" "$velkor" "${names[@]}" --get=E2P.Networking.Eth0MacAddr 2>&1)"
    expect "$velkor --check" SUCCESS "$("$@" "$velkor" "${names[@]}" --loglevel=error --check 2>&1)"
}
