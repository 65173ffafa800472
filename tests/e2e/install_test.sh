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

scratch_page install bin/murelpage-sim
prefix=$scratch

log=$("$cmake" --install "$build" --prefix "$prefix" 2>&1) ||
    { printf '%s\nFAILED: cmake --install\n' "$log"; exit 1; }
doc=$prefix/share/doc/velkor

for program in velkor murelpage-sim; do
    check
    [[ -x $prefix/bin/$program ]] || fail "bin/$program is missing or not executable"
    check
    installed=$(ls "$prefix/share/man/man1/$program.1"* 2>/dev/null | head -n 1)
    [[ -n $installed ]] || { fail "share/man/man1/$program.1 is missing"; continue; }
    if command -v man >/dev/null; then
        # man finds the page by name under the prefix and renders it without a warning.
        expect "man -w $program" "$installed" \
            "$(MANPATH="$prefix/share/man" man -w "$program" 2>/dev/null)"
        man_renders_cleanly "$installed"
        check
        MANWIDTH=80 man -l "$installed" 2>/dev/null | grep -q '^NAME' ||
            fail "man -l $installed renders no NAME section"
    fi
done

expect "the installed completion registers itself" "complete -F _velkor velkor" \
    "$(bash -c 'source "$1" && complete -p velkor' _ "$prefix/$completion_dir/velkor" 2>&1)"

for file in README.md docs/troubleshooting.md docs/page-format.md examples/README.md \
    examples/adjust-block.bin examples/adjust-block.txt; do
    check
    [[ -s $doc/$file ]] || fail "share/doc/velkor/$file is missing"
done

# The installed programs, on the installed sample block and description.
expect "installed velkor --help" "$("$built_velkor" --help)" "$("$prefix/bin/velkor" --help)"
on_page "$page" "$lock" "$doc/examples/adjust-block.bin" "$prefix/bin/murelpage-sim" \
    "$prefix/bin/velkor"
expect "installed velkor --getver through MUREL_PAGE" \
    $'Compiled version: 2, stored version: 2\nSUCCESS' \
    "$(MUREL_PAGE=$page MUREL_PAGELOCK=$lock "$prefix/bin/velkor" --getver 2>&1)"
expect "installed velkor --get with the installed description" \
    $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' \
    "$("$prefix/bin/velkor" --page="$page" --pagelock="$lock" --loglevel=error \
        --config="$doc/examples/adjust-block.txt" --get=E2P.Networking.Eth0MacAddr 2>&1)"

report
