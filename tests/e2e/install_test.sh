#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: everything lands where it belongs, man finds the pages
# under the prefix, and the installed programs read the installed sample block through a page (named by options or by the environment) with the
# installed description.
#
# install_test.sh <cmake> <build dir> <completion dir relative to the prefix>
set -u

cmake=$1 build=$2 completion_dir=$3
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
prefix=$(mktemp -d)
page=/velkor-install-$$-page lock=/velkor-install-$$-lock
trap '"$prefix/bin/murelpage-sim" remove --page=$page --pagelock=$lock &>/dev/null; rm -rf "$prefix"' EXIT

log=$("$cmake" --install "$build" --prefix "$prefix" 2>&1) ||
    { printf '%s\nFAILED: cmake --install\n' "$log"; exit 1; }
installed "$prefix" "$completion_dir"
if command -v man >/dev/null; then
    for program in velkor murelpage-sim; do
        check
        [[ $(MANPATH=$prefix/share/man man -w $program 2>&1) == "$prefix/share/man/man1/$program.1"* ]] ||
            fail "man -w $program does not find the page under $prefix"
    done
fi

examples=$prefix/share/doc/velkor/examples
on_page "$page" "$lock" "$examples/adjust-block.bin" "$prefix/bin/murelpage-sim" "$prefix/bin/velkor"
expect "installed velkor, the page named by the environment, with the installed description" \
    $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' \
    "$(MUREL_PAGE=$page MUREL_PAGELOCK=$lock "$prefix/bin/velkor" --loglevel=error \
        --config="$examples/adjust-block.txt" --get=E2P.Networking.Eth0MacAddr 2>&1)"
report
