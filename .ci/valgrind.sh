#!/usr/bin/env bash
# Leak and memory-error check: runs velkor's actions, on their success and failure paths, under
# valgrind (memcheck) against pages provisioned with murelpage-sim and against files. A run fails
# on any memory error, on memory definitely lost at exit (process-wide objects that live until
# exit are fine), or on an exit status other than the expected one.
#
# Builds velkor without sanitizers and dynamically linked (valgrind replaces malloc in the shared
# C library only), in build/valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

if ! command -v valgrind >/dev/null 2>&1; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind
fi

build="$root/build/valgrind"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_WERROR=ON \
    -DVELKOR_STATIC_EXECUTABLE=OFF -DVELKOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target velkor murelpage-sim -j2
velkor="$build/app/velkor"
sim="$build/tools/murelpage-sim"
[ -x "$sim" ] || sim="$build/tools/murelpage-sim/murelpage-sim"

work="$(mktemp -d "${TMPDIR:-/tmp}/velkor-valgrind.XXXXXX")"
base="/velkor-valgrind-$$"
pages=(good badcrc version3 format2)
cleanup() {
    for page in "${pages[@]}"; do
        "$sim" remove --page="$base-$page" --pagelock="$base-$page-lock" >/dev/null 2>&1 || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

block="$root/examples/adjust-block.bin"
description="$root/examples/adjust-block.txt"
"$sim" write --page="$base-good" --pagelock="$base-good-lock" --block="$block" --fix-crc
"$sim" write --page="$base-badcrc" --pagelock="$base-badcrc-lock" --block="$block" --break-crc
"$sim" write --page="$base-version3" --pagelock="$base-version3-lock" --block="$block" \
    --version=3 --fix-crc
"$sim" write --page="$base-format2" --pagelock="$base-format2-lock" --block="$block" --format=2

good=(--page="$base-good" --pagelock="$base-good-lock")
head -c 100 "$block" >"$work/short.bin"
printf '0000000C E2P.A B UINT8 1 zz 00 FF\n' >"$work/bad-description.txt"
printf '[COMMANDLINE]\n--check\n--page=%s\n--pagelock=%s # the page\n' \
    "$base-good" "$base-good-lock" >"$work/options"

runs=0
failures=0
# check EXPECTED_STATUS NAME ARGUMENTS...   ("-": any status)
check() {
    local expected="$1" name="$2"
    shift 2
    local log="$work/$name.log"
    local status=0
    valgrind -q --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite \
        --error-exitcode=99 \
        --log-file="$log" "$velkor" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
    runs=$((runs + 1))
    if [ "$status" -eq 99 ]; then
        echo "valgrind: $name: memory errors or definite leaks (velkor $*):"
        cat "$log"
        failures=$((failures + 1))
    elif [ "$expected" != - ] && [ "$status" -ne "$expected" ]; then
        echo "valgrind: $name: exit status $status, expected $expected (velkor $*):"
        cat "$work/$name.err"
        failures=$((failures + 1))
    else
        echo "valgrind: $name: clean (exit status $status)"
        if [ -s "$log" ]; then cat "$log"; fi
    fi
}

# Front end. An unknown name for --get is warned about and skipped; a stored layout version other
# than the compiled one makes --dump print hex rows: both succeed.
check 0 help --help
check 1 no-action
check 1 unknown-option --bogus
check 1 bad-value --dump=HEX
check 1 duplicate --page=/a --page=/b --check
# Actions on the page.
check 0 dump "${good[@]}" --dump
check 0 dump-hex "${good[@]}" --dump=hex --endianness=little
check 0 get "${good[@]}" --get=E2P.Networking.Eth0MacAddr,E2P.ProdLogistic.SerialNo
check 0 get-unknown "${good[@]}" --get=E2P.No.Such
check 0 config-dump "${good[@]}" --config="$description" --dump
check 0 config-get "${good[@]}" --config="$description" --get=E2P.Networking.Eth0MacAddr
check 1 config-missing "${good[@]}" --config="$work/none.txt" --dump
check 1 config-bad "${good[@]}" --config="$work/bad-description.txt" --dump
check 0 getver "${good[@]}" --getver
check 0 backup "${good[@]}" --backup="$work/backup.bin"
check 1 backup-unwritable "${good[@]}" --backup="$work/no/such/dir/backup.bin"
check 0 check "${good[@]}" --check
MUREL_PAGE="$base-good" MUREL_PAGELOCK="$base-good-lock" check 0 check-environment --check
# The "@" argument stays among the arguments, where the option table sees it: the status is not
# checked here, only the reading of the option file.
check - option-file "@$work/options"
check 1 check-bad-crc --page="$base-badcrc" --pagelock="$base-badcrc-lock" --check
check 0 dump-version-3 --page="$base-version3" --pagelock="$base-version3-lock" --dump
check 1 check-format-2 --page="$base-format2" --pagelock="$base-format2-lock" --check
check 1 missing-page --page="$base-none" --pagelock="$base-none-lock" --dump
# Actions on files.
check 0 check-file --check="$work/backup.bin"
check 0 getver-file --getver="$block"
check 1 check-short-file --check="$work/short.bin"
check 1 check-missing-file --check="$work/none.bin"
check 1 getver-missing-file --getver="$work/none.bin"

echo "valgrind: $runs runs, $failures failed"
[ "$failures" -eq 0 ]
