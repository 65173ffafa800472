#!/usr/bin/env bash
# Drives velkor's bash completion as bash does and checks the replies: option names, keywords,
# file paths, shared-memory objects, and the --get entry names (exactly those velkor --dump prints).
#
# bash_completion_test.sh <completion file> <velkor> <murelpage-sim> <sample block>
set -u

completion=$1 velkor=$2 sim=$3 block=$4
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

scratch=$(mktemp -d) page=/velkor-completion-$$-page lock=/velkor-completion-$$-lock
trap '"$sim" remove --page=$page --pagelock=$lock &>/dev/null; rm -rf "$scratch"' EXIT

# compopt only works while bash runs a completion; record what the function asks for instead.
compopt() { COMPOPT_CALLS+=" $*"; }

# shellcheck source=/dev/null
source "$completion" || { echo "FAILED: cannot source $completion"; exit 1; }
expect "complete -p velkor" "complete -F _velkor velkor" "$(complete -p velkor 2>&1)"

# complete_line <text after "velkor "> [word breaks]: sets REPLY_LINES to the sorted replies.
complete_line() {
    COMP_LINE="velkor $1"
    COMP_POINT=${#COMP_LINE}
    COMP_WORDBREAKS=${2-$' \t\n"\'><=;|&(:'}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    COMPOPT_CALLS=""
    _velkor velkor "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    REPLY_LINES=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)
}

# completes <text after "velkor "> <expected replies, one per line> [word breaks]
completes() {
    complete_line "$1" "${@:3}"
    expect "velkor $1<TAB>" "$(printf '%s' "$2" | LC_ALL=C sort)" "$REPLY_LINES"
}

# asks <text after "velkor "> <compopt arguments> <yes|no>: whether the function asks for them.
asks() {
    complete_line "$1"
    local asked=no
    [[ $COMPOPT_CALLS == *"$2"* ]] && asked=yes
    expect "velkor $1<TAB> asks for compopt $2 [$COMPOPT_CALLS]" "$3" "$asked"
}

all_options=$'--help\n--log=\n--loglevel=\n--endianness=\n--config=\n--dump\n--dump=\n--backup=
--getver\n--getver=\n--get=\n--check\n--check=\n--diff=\n--page=\n--pagelock=\n--from=\n--json
--version'
completes "" "$all_options"
completes "--ge" $'--getver\n--getver=\n--get='
# Options given are not offered again; an action excludes the others.
completes "--page=/p --log=slog --" "$(grep -vxE -- '--page=|--log=|--from=' <<<"$all_options")"
completes "--dump=hex --" \
    "$(grep -vxE -- '--(dump|backup|getver|get|check|diff)=?' <<<"$all_options")"
asks "--ge" "-o nospace" yes

completes "--dump=" $'hex\nverbose'
completes "--loglevel=warning," $'warning,error\nwarning,info'
completes "--loglevel=none," ""
# Without "=" among the word-break characters readline replaces the whole word.
completes "--dump=h" "--dump=hex" $' \t\n"\'><;|&(:'

files=$scratch/files
mkdir -p "$files/sub dir"
: >"$files/desc.txt"
: >"$files/backup.bin"
for option in --config --backup --getver --check --from --diff; do
    completes "$option=$files/" "$files/backup.bin"$'\n'"$files/desc.txt"$'\n'"$files/sub dir"
    asks "$option=$files/d" "-o filenames" yes
done
completes "@$files/de" "@$files/desc.txt"

check
"$sim" write --page="$page" --pagelock="$lock" --block="$block" >/dev/null ||
    fail "murelpage-sim write failed"
completes "--page=/velkor-completion-$$-" "$page"
complete_line "--page=/"
[[ $REPLY_LINES == *sem.* ]] && fail "--page=/ offers a named semaphore: [$REPLY_LINES]"

dumped=$("$velkor" --page="$page" --pagelock="$lock" --dump 2>/dev/null |
    sed -n 's/^\(E2P\.[^=]*\)=.*$/\1/p' | LC_ALL=C sort)
completed=""
pending=("E2P.")
while ((${#pending[@]} > 0)); do
    complete_line "--get=${pending[0]}"
    pending=("${pending[@]:1}")
    while IFS= read -r reply; do
        case $reply in
            "") ;;
            *.) pending+=("$reply") ;;
            *) completed+="$reply"$'\n' ;;
        esac
    done <<<"$REPLY_LINES"
done
expect "entry names of the completion against velkor --dump" "$dumped" \
    "$(printf '%s' "$completed" | LC_ALL=C sort)"

completes "--get=E2P.Networking.Eth0MacAddr,E2P.Networking.Eth" \
    "E2P.Networking.Eth0MacAddr,E2P.Networking.Eth1MacAddr"

report
