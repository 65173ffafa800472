#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: the programs land in bin/, the man pages in
# share/man/man1/ (man finds them there), the bash completion in its directory (and registers
# itself), the documentation and the examples in share/doc/velkor/; the installed programs run and
# read the installed sample block through a page.
#
# install_test.sh <cmake> <build dir> <completion dir relative to the prefix> <velkor in the build>
set -u

cmake=$1 build=$2 completion_dir=$3 built_velkor=$4
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

prefix=$(mktemp -d)
page="/velkor-install-$$-page"
lock="/velkor-install-$$-lock"
cleanup() {
    [[ -x $prefix/bin/murelpage-sim ]] &&
        "$prefix/bin/murelpage-sim" remove --page="$page" --pagelock="$lock" >/dev/null 2>&1
    rm -rf "$prefix"
}
trap cleanup EXIT

if ! log=$("$cmake" --install "$build" --prefix "$prefix" 2>&1); then
    printf '%s\nFAILED: cmake --install\n' "$log"
    exit 1
fi

for program in velkor murelpage-sim; do
    check
    [[ -x $prefix/bin/$program ]] || fail "bin/$program is missing or not executable"
done

for page in velkor murelpage-sim; do
    check
    installed=$(ls "$prefix/share/man/man1/$page.1"* 2>/dev/null | head -n 1)
    if [[ -z $installed ]]; then
        fail "share/man/man1/$page.1 is missing"
        continue
    fi
    if command -v man >/dev/null; then
        # man finds the page by name under the prefix and renders it without a warning.
        check
        found=$(MANPATH="$prefix/share/man" man -w "$page" 2>/dev/null)
        [[ $found == "$installed" ]] || fail "man -w $page: expected $installed, got '$found'"
        check
        warnings=$(MANWIDTH=80 man --warnings -l "$installed" 2>&1 >/dev/null)
        [[ -z $warnings ]] || fail "man -l $installed warns: $warnings"
        check
        MANWIDTH=80 man -l "$installed" 2>/dev/null | grep -q '^NAME' ||
            fail "man -l $installed renders no NAME section"
    fi
done

completion="$prefix/$completion_dir/velkor"
check
if [[ ! -f $completion ]]; then
    fail "the bash completion is missing: $completion_dir/velkor"
else
    check
    registered=$(bash -c 'source "$1" && complete -p velkor' _ "$completion" 2>&1)
    [[ $registered == "complete -F _velkor velkor" ]] ||
        fail "the installed completion does not register itself: $registered"
fi

for file in README.md docs/troubleshooting.md docs/page-format.md examples/README.md \
    examples/adjust-block.bin examples/adjust-block.txt; do
    check
    [[ -s $prefix/share/doc/velkor/$file ]] || fail "share/doc/velkor/$file is missing"
done

# The installed programs, on the installed sample block.
check
usage=$("$prefix/bin/velkor" --help)
[[ $usage == "$("$built_velkor" --help)" ]] ||
    fail "installed velkor --help differs from the build's"

check
if "$prefix/bin/murelpage-sim" write --page="$page" --pagelock="$lock" \
    --block="$prefix/share/doc/velkor/examples/adjust-block.bin" 2>&1; then
    check
    output=$(MUREL_PAGE=$page MUREL_PAGELOCK=$lock "$prefix/bin/velkor" --getver 2>&1)
    [[ $output == $'Compiled version: 2, stored version: 2\nSUCCESS' ]] ||
        fail "installed velkor --getver printed: $output"
    check
    output=$("$prefix/bin/velkor" --page="$page" --pagelock="$lock" \
        --config="$prefix/share/doc/velkor/examples/adjust-block.txt" --loglevel=error \
        --get=E2P.Networking.Eth0MacAddr 2>&1)
    [[ $output == $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' ]] ||
        fail "installed velkor --get with the installed description printed: $output"
else
    fail "installed murelpage-sim write failed"
fi

report
