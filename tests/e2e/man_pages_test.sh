#!/usr/bin/env bash
# The man pages of velkor and murelpage-sim: no groff warning (-ww), no line wider than 80 columns,
# every section, the project's version and release date, exactly the options of the usage text,
# and in ENVIRONMENT every variable the sources read.
#
# man_pages_test.sh <source dir> <project version> <velkor> <murelpage-sim> <built pages dir>
#                   <release date>
set -u

source_dir=$1 version=$2 velkor=$3 sim=$4 man_dir=$5 release_date=$6
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
need groff

# render <page>: the page on an 80-column terminal, in plain ASCII.
render() { groff -t -man -Tascii -P-cbou -rLL=78n "$1" 2>/dev/null; }

# section <rendered text> <heading>: the lines of one section, headings excluded.
section() {
    awk -v want="$2" '/^[A-Z][A-Z -]*[A-Z]$/ { inside = ($0 == want); next } inside' <<<"$1"
}

# The variables the programs read: the quoted names of the environment variables in their sources.
variables=$(cd "$source_dir" && grep -rhoE \
    '"(VX_[A-Z0-9_]+|MUREL_PAGE|MUREL_PAGELOCK|MURELPAGE_DEBUG_[A-Z0-9_]+)"' \
    --include='*.cpp' --include='*.h' app meta murelpage foundation tools/murelpage-sim |
    tr -d '"' | LC_ALL=C sort -u)

# check_page <page> <option names of the usage text, one per line>
check_page() {
    local page=$1 options=$2 name rendered described heading variable
    name=$(basename "$page")
    expect "$name: groff -ww warnings" "" "$(groff -t -man -ww -z -Tutf8 "$page" 2>&1)"
    rendered=$(render "$page")
    expect "$name: lines wider than 80 columns" "" "$(awk 'length > 80' <<<"$rendered")"
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES \
        "SEE ALSO"; do
        check
        grep -qx "$heading" <<<"$rendered" || fail "$name: no section $heading"
    done
    check
    [[ $(tail -n 1 <<<"$rendered") == *"velkor $version"*" $release_date "* ]] ||
        fail "$name: footer does not carry 'velkor $version' and $release_date:" \
            "$(tail -n 1 <<<"$rendered")"

    # The options at the start of the OPTIONS section's items against the usage text, both ways.
    described=$(section "$rendered" OPTIONS | grep -oE '^ {7}(--[a-z-]+|-h)' | tr -d ' ' |
        grep -vx -- -h | LC_ALL=C sort -u)
    expect "$name: options described / options of the usage text" "$options" "$described"
    while IFS= read -r variable; do
        check
        section "$rendered" ENVIRONMENT | grep -q -- "$variable" ||
            fail "$name: ENVIRONMENT does not name $variable"
    done <<<"$variables"
}

# Option names of a usage text: the words "--name" that start its option lines, and --help, which
# the usage texts do not list.
check_page "$man_dir/velkor.1" \
    "$( (echo --help; "$velkor" --help | grep -oE '^--[a-z-]+') | LC_ALL=C sort -u)"
check_page "$man_dir/murelpage-sim.1" \
    "$( (echo --help; "$sim" --help | grep -oE '^ +--[a-z-]+' | tr -d ' ') | LC_ALL=C sort -u)"

report
