#!/usr/bin/env bash
# The man pages of velkor and murelpage-sim: groff renders them without a warning (-ww), so does
# man -l, no rendered line is wider than 80 columns, every section is there, the version matches
# the project's, every option of the usage text is described and no other, and the ENVIRONMENT
# section names every variable that the programs' sources read.
#
# man_pages_test.sh <source dir> <project version> <velkor> <murelpage-sim>
set -u

source_dir=$1 version=$2 velkor=$3 sim=$4
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

if ! command -v groff >/dev/null; then
    echo "groff is missing (apt-get install groff-base)"
    exit 77
fi

# render <page>: the page as man shows it on an 80-column terminal, in plain ASCII.
render() {
    if command -v man >/dev/null; then
        MANWIDTH=80 man -E ascii -l "$1" 2>/dev/null
    else
        groff -t -man -Tascii -P-cbou -rLL=78n "$1" 2>/dev/null
    fi
}

# section <rendered text> <heading>: the lines of one section, headings excluded.
section() {
    printf '%s\n' "$1" | awk -v want="$2" '
        /^[A-Z][A-Z -]*[A-Z]$/ { inside = ($0 == want); next }
        inside { print }'
}

# The variables the programs read: the quoted names of the environment variables in their sources.
sources=(app meta murelpage foundation tools/murelpage-sim)
variables=$(cd "$source_dir" && grep -rhoE \
    '"(VX_[A-Z0-9_]+|MUREL_PAGE|MUREL_PAGELOCK|MURELPAGE_DEBUG_[A-Z0-9_]+)"' \
    --include='*.cpp' --include='*.h' "${sources[@]}" | tr -d '"' | LC_ALL=C sort -u)
check
if [[ $(printf '%s\n' "$variables" | wc -l) -lt 10 ]]; then
    fail "found too few environment variables in the sources: [$variables]"
fi

# Option names of a usage text: the words "--name" that start its option lines, and --help, which
# the usage texts do not list.
velkor_options=$( (echo --help; "$velkor" --help | grep -oE '^--[a-z-]+') | LC_ALL=C sort -u)
sim_options=$( (echo --help; "$sim" --help | grep -oE '^ +--[a-z-]+' | tr -d ' ') |
    LC_ALL=C sort -u)

check_page() {
    local page=$1 options=$2 rendered warnings heading described option variable
    local name
    name=$(basename "$page")

    check
    warnings=$(groff -t -man -ww -z -Tutf8 "$page" 2>&1)
    [[ -z $warnings ]] || fail "$name: groff -ww warns: $warnings"
    if command -v man >/dev/null; then
        check
        warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
        [[ -z $warnings ]] || fail "$name: man --warnings -l warns: $warnings"
    fi

    rendered=$(render "$page")
    check
    local wide
    wide=$(printf '%s\n' "$rendered" | awk 'length > 80')
    [[ -z $wide ]] || fail "$name: lines wider than 80 columns: $wide"

    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES \
        "SEE ALSO"; do
        check
        grep -qx "$heading" <<<"$rendered" || fail "$name: no section $heading"
    done

    check
    head -n 1 <<<"$rendered" | grep -q . || fail "$name: renders empty"
    check
    tail -n 1 <<<"$rendered" | grep -q "velkor $version" ||
        fail "$name: footer does not carry 'velkor $version': $(tail -n 1 <<<"$rendered")"

    # Options: those at the start of the OPTIONS section's items (or in its text) against the
    # usage text, both ways.
    described=$(section "$rendered" OPTIONS | grep -oE '^ {7}(--[a-z-]+|-h)' | tr -d ' ' |
        LC_ALL=C sort -u)
    while IFS= read -r option; do
        check
        grep -qx -- "$option" <<<"$described" || fail "$name: option $option is not described"
    done <<<"$options"
    while IFS= read -r option; do
        [[ $option == -h ]] && continue
        check
        grep -qx -- "$option" <<<"$options" ||
            fail "$name: describes $option, which the usage text does not have"
    done <<<"$described"

    local environment
    environment=$(section "$rendered" ENVIRONMENT)
    while IFS= read -r variable; do
        check
        grep -q -- "$variable" <<<"$environment" ||
            fail "$name: ENVIRONMENT does not name $variable"
    done <<<"$variables"
}

check_page "$source_dir/app/velkor.1" "$velkor_options"
check_page "$source_dir/tools/murelpage-sim/murelpage-sim.1" "$sim_options"

# The exit statuses velkor documents are the ones it returns.
check
"$velkor" --help >/dev/null
[[ $? -eq 0 ]] || fail "velkor --help does not exit with 0"
check
"$velkor" --no-such-option >/dev/null 2>&1
[[ $? -eq 1 ]] || fail "velkor with an unknown option does not exit with 1"

report
