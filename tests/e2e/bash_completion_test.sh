#!/usr/bin/env bash
# Drives velkor's bash completion the way bash does (COMP_LINE, COMP_POINT, COMP_WORDS,
# COMP_CWORD, COMP_WORDBREAKS, then the completion function) and checks the replies: option names,
# keywords and keyword lists, file paths, shared-memory objects, and the entry names for --get,
# which must be exactly the names that velkor's verbose dump prints for the compiled-in layout.
#
# bash_completion_test.sh <completion file> <velkor> <murelpage-sim> <sample block>
set -u

completion=$1 velkor=$2 sim=$3 block=$4
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

scratch=$(mktemp -d)
page="/velkor-completion-$$-page"
lock="/velkor-completion-$$-lock"
cleanup() {
    "$sim" remove --page="$page" --pagelock="$lock" >/dev/null 2>&1
    rm -rf "$scratch"
}
trap cleanup EXIT

# compopt only works while bash runs a completion; record what the function asks for instead.
COMPOPT_CALLS=""
compopt() { COMPOPT_CALLS+=" $*"; }

# shellcheck source=/dev/null
source "$completion" || { echo "FAILED: cannot source $completion"; exit 1; }
if [[ $(complete -p velkor 2>/dev/null) != "complete -F _velkor velkor" ]]; then
    fail "the completion is not registered for velkor: $(complete -p velkor 2>&1)"
fi

DEFAULT_BREAKS=$' \t\n"\'><=;|&(:'

# complete_line <text after "velkor "> [word breaks]: sets REPLY_LINES to the sorted replies.
complete_line() {
    COMP_LINE="velkor $1"
    COMP_POINT=${#COMP_LINE}
    COMP_WORDBREAKS=${2-$DEFAULT_BREAKS}
    # Words as bash splits them (the function itself reads COMP_LINE).
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    COMPOPT_CALLS=""
    _velkor velkor "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    REPLY_LINES=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)
}

# expect <text after "velkor "> <expected replies, one per line>
expect() {
    checks=$((checks + 1))
    local expected
    expected=$(printf '%s' "$2" | LC_ALL=C sort)
    complete_line "$1"
    if [[ $REPLY_LINES != "$expected" ]]; then
        fail "velkor $1<TAB>: expected [${expected//$'\n'/ }], got [${REPLY_LINES//$'\n'/ }]"
    fi
}

expect_compopt() {
    checks=$((checks + 1))
    complete_line "$1"
    if [[ $COMPOPT_CALLS != *"$2"* ]]; then
        fail "velkor $1<TAB>: expected compopt $2, got [$COMPOPT_CALLS]"
    fi
}

expect_no_compopt() {
    checks=$((checks + 1))
    complete_line "$1"
    if [[ $COMPOPT_CALLS == *"$2"* ]]; then
        fail "velkor $1<TAB>: did not expect compopt $2, got [$COMPOPT_CALLS]"
    fi
}

# ---- option names ----
all_options='--help
--log=
--loglevel=
--endianness=
--config=
--dump
--dump=
--backup=
--getver
--getver=
--get=
--check
--check=
--page=
--pagelock='
expect "" "$all_options"
expect "--" "$all_options"
expect "--ge" $'--getver\n--getver=\n--get='
expect "--pagel" "--pagelock="
expect "--x" ""
# Options already given are not offered again; one action excludes the others.
expect "--page=/p --log=slog --" "$(grep -vxE -- '--page=|--log=' <<<"$all_options")"
expect "--dump=hex --" "$(grep -vxE -- '--(dump|backup|getver|get|check)=?' <<<"$all_options")"
expect "--get=E2P.A.B --endianness=big --c" "--config="
expect_compopt "--ge" "-o nospace"
expect_no_compopt "--he" "-o nospace"

# ---- keywords ----
expect "--dump=" $'hex\nverbose'
expect "--dump=v" "verbose"
expect "--endianness=" $'big\nlittle'
expect "--endianness=big," ""
expect "--endianness=l" "little"
expect_no_compopt "--endianness=l" "-o nospace"
expect "--log=" $'slog\nstdout'
expect "--log=slog," "slog,stdout"
expect "--log=slog,stdout," ""
expect_compopt "--log=s" "-o nospace"
expect "--loglevel=" $'warning\nerror\ninfo\nnone'
expect "--loglevel=n" "none"
# "none" stands alone; keywords already listed are not offered again.
expect "--loglevel=warning," $'warning,error\nwarning,info'
expect "--loglevel=warning,info,e" "warning,info,error"
expect "--loglevel=none," ""

# Without "=" among the word-break characters readline replaces the whole word.
checks=$((checks + 1))
complete_line "--dump=h" $' \t\n"\'><;|&(:'
[[ $REPLY_LINES == "--dump=hex" ]] ||
    fail "no '=' word break: expected --dump=hex, got [$REPLY_LINES]"
checks=$((checks + 1))
complete_line "--log=slog,s" $' \t\n"\'><;|&(:,'
[[ $REPLY_LINES == "stdout" ]] || fail "',' word break: expected stdout, got [$REPLY_LINES]"

# ---- file paths ----
mkdir -p "$scratch/files/sub dir"
: >"$scratch/files/desc.txt"
: >"$scratch/files/backup.bin"
for option in --config --backup --getver --check; do
    expect "$option=$scratch/files/" "$scratch/files/backup.bin
$scratch/files/desc.txt
$scratch/files/sub dir"
    expect_compopt "$option=$scratch/files/d" "-o filenames"
done
expect "--config=$scratch/files/de" "$scratch/files/desc.txt"
expect "@$scratch/files/de" "@$scratch/files/desc.txt"
expect_compopt "@$scratch/files/de" "-o filenames"

# ---- shared-memory objects ----
if ! "$sim" write --page="$page" --pagelock="$lock" --block="$block" >/dev/null; then
    fail "murelpage-sim write failed"
else
    # The page (8192 bytes) is offered for --page, the access object (56 bytes) for --pagelock.
    expect "--page=/velkor-completion-$$-" "$page"
    expect "--pagelock=/velkor-completion-$$-" "$lock"
    expect "--page=$page" "$page"
    complete_line "--page=/"
    checks=$((checks + 1))
    [[ $'\n'$REPLY_LINES$'\n' == *$'\n'"$page"$'\n'* ]] || fail "--page=/ does not offer $page"
    [[ $REPLY_LINES == *sem.* ]] && fail "--page=/ offers a named semaphore: [$REPLY_LINES]"

    # ---- entry names: exactly those of the compiled-in layout ----
    dump=$("$velkor" --page="$page" --pagelock="$lock" --dump 2>/dev/null)
    dumped=$(printf '%s\n' "$dump" | sed -n 's/^\(E2P\.[^=]*\)=.*$/\1/p' | LC_ALL=C sort)
    if [[ $(printf '%s\n' "$dumped" | wc -l) -lt 100 ]]; then
        fail "velkor --dump printed too few entries: $(printf '%s\n' "$dump" | head -3)"
    fi
    # Walk the groups one dot level at a time, as a user pressing TAB would.
    completed=""
    pending=("E2P.")
    while ((${#pending[@]} > 0)); do
        prefix=${pending[0]}
        pending=("${pending[@]:1}")
        complete_line "--get=$prefix"
        while IFS= read -r reply; do
            [[ -z $reply ]] && continue
            if [[ $reply == *. ]]; then
                pending+=("$reply")
            else
                completed+="$reply"$'\n'
            fi
        done <<<"$REPLY_LINES"
    done
    completed=$(printf '%s' "$completed" | LC_ALL=C sort)
    checks=$((checks + 1))
    if [[ $completed != "$dumped" ]]; then
        fail "entry names of the completion differ from velkor --dump:"
        diff <(printf '%s\n' "$dumped") <(printf '%s\n' "$completed") | head -20
    fi
fi

expect "--get=E2P.Networking.Eth" $'E2P.Networking.Eth0MacAddr\nE2P.Networking.Eth1MacAddr'
expect "--get=E2P.Networking.Eth0MacAddr,E2P.Networking.Eth" \
    "E2P.Networking.Eth0MacAddr,E2P.Networking.Eth1MacAddr"
expect "--get=E2P.Networking.Eth0MacAddr,E2P.Networking.Eth1MacAddr,E2P.Networking.Eth" ""
expect "--get=E2P.ProdLogistic.HWCoding.APIX" "E2P.ProdLogistic.HWCoding.APIX"
expect "--get=e2p." ""
expect_compopt "--get=E2P." "-o nospace"

report
