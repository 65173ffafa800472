#!/usr/bin/env bash
# velkor and murelpage-sim run by the user nobody in a private /dev/shm: the user's create lock
# has mode 0600 and velkor reads the user's page; root's create lock keeps the user out
# (ERROR_ATTACH_SHACC), also with a writable access object, until chmod 0666. Needs root (to enter the namespace and change user); skipped otherwise.
#
# nonroot_test.sh <velkor> <murelpage-sim> <sample block>
set -u

CHECKS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/checks.sh"
# shellcheck source=checks.sh
. "$CHECKS"
[[ $(id -u) -eq 0 ]] || { echo "not root: cannot enter a mount namespace and change the user"; exit 77; }
need unshare setpriv mount
TEST_GROUP=$(id -gn nobody 2>/dev/null) || { echo "no user nobody"; exit 77; }
unshare --mount --propagation private true 2>/dev/null ||
    { echo "unshare --mount is not permitted here"; exit 77; }

# The programs and the block where the user can reach them, whatever the build tree's modes.
SCRATCH=$(mktemp -d)
export CHECKS TEST_GROUP SCRATCH
trap 'rm -rf "$SCRATCH"' EXIT
install -m 0755 "$1" "$SCRATCH/velkor"
install -m 0755 "$2" "$SCRATCH/murelpage-sim"
install -m 0644 "$3" "$SCRATCH/block.bin"
chmod 0755 "$SCRATCH"

unshare --mount --propagation private bash -s <<'NAMESPACE'
set -u
. "$CHECKS"
mount -t tmpfs -o mode=1777,size=1m velkor-test-shm /dev/shm || { echo "FAILED: mount"; exit 1; }
as_user() { (cd / && setpriv --reuid=nobody --regid="$TEST_GROUP" --clear-groups -- "$@"); }
velkor=$SCRATCH/velkor sim=$SCRATCH/murelpage-sim block=$SCRATCH/block.bin

as_user "$sim" write --page=/userpage --pagelock=/userlock --block="$block"
expect "velkor --get as nobody" $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' \
    "$(as_user "$velkor" --page=/userpage --pagelock=/userlock --get=E2P.Networking.Eth0MacAddr 2>&1)"
expect "mode of the create lock" 600 "$(stat -c %a /dev/shm/sem.murelpage-create-lock)"

rm -f /dev/shm/sem.murelpage-create-lock
(umask 022 && "$sim" write --page=/rootpage --pagelock=/rootlock --block="$block")
chmod 0666 /dev/shm/rootlock
output=$(as_user "$velkor" --page=/rootpage --pagelock=/rootlock --getver 2>&1)
expect "velkor --getver as nobody behind root's create lock (exit status)" 1 "$?"
expect "velkor --getver as nobody behind root's create lock" \
    "velkor: ERROR: failed attach, page: '/rootpage', pagelock: '/rootlock', res: ERROR_ATTACH_SHACC
FAILURE" "$output"
chmod 0666 /dev/shm/sem.murelpage-create-lock
expect "velkor --getver as nobody after chmod 0666" $'Compiled version: 2, stored version: 2\nSUCCESS' \
    "$(as_user "$velkor" --page=/rootpage --pagelock=/rootlock --getver 2>&1)"
report
NAMESPACE
