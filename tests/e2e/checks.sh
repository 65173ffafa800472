# shellcheck shell=bash
# Shared by the shell tests: `expect WHAT EXPECTED ACTUAL` is one check that two texts are equal,
# `check` counts a check and `fail` reports it failed; `report` prints "N passed, N failed" and
# returns non-zero when anything failed. `need TOOL...` skips the test (status 77) when a tool is
# missing.
failures=0
checks=0
fail() {
    printf 'FAILED: %s\n' "$*"
    failures=$((failures + 1))
}
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

# installed <root> <completion dir>: what an installation puts under its prefix (the man pages
# compressed or not).
installed() {
    local root=$1 path
    for path in bin/velkor bin/murelpage-sim share/man/man1/velkor.1* share/man/man1/murelpage-sim.1* \
        "$2/velkor" share/doc/velkor/{README.md,docs/troubleshooting.md,docs/page-format.md} \
        share/doc/velkor/examples/{README.md,adjust-block.bin,adjust-block.txt}; do
        check
        compgen -G "$root/$path" >/dev/null || fail "$root lacks $path"
    done
}

# on_page <page> <lock> <block> <murelpage-sim> <velkor> [command prefix...]: murelpage-sim writes
# the block into the page, velkor reads back its version, an entry and the CRC verdict.
on_page() {
    local names=(--page="$1" --pagelock="$2") block=$3 sim=$4 velkor=$5
    shift 5
    check
    "$@" "$sim" write "${names[@]}" --block="$block" || { fail "$sim write failed"; return; }
    expect "$velkor --getver" $'Compiled version: 2, stored version: 2\nSUCCESS' \
        "$("$@" "$velkor" "${names[@]}" --getver 2>&1)"
    expect "$velkor --get" $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' \
        "$("$@" "$velkor" "${names[@]}" --get=E2P.Networking.Eth0MacAddr 2>&1)"
    expect "$velkor --check" SUCCESS "$("$@" "$velkor" "${names[@]}" --loglevel=error --check 2>&1)"
}
