#!/usr/bin/env bash
# velkor and murelpage-sim run by a normal user (nobody) against pages that user made, in a
# private /dev/shm (a mount namespace with its own tmpfs), so that nothing the host holds matters:
#  - the user's page, access object and create lock belong to the user; the create lock has mode
#    0600; every action works, the default names included;
#  - a create lock that another user (root) made first keeps this user out with
#    ERROR_ATTACH_SHACC, also when the access object itself is writable for everyone; once its
#    owner opens it up (chmod 0666), the user gets in.
# Needs root (to enter the namespace and change user); skipped otherwise.
#
# nonroot_test.sh <velkor> <murelpage-sim> <sample block>
set -u

CHECKS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/checks.sh"
# shellcheck source=checks.sh
. "$CHECKS"
[[ $(id -u) -eq 0 ]] ||
    { echo "not root: cannot enter a mount namespace and change the user"; exit 77; }
need unshare setpriv mount
TEST_USER=nobody
TEST_GROUP=$(id -gn nobody 2>/dev/null) || { echo "no user nobody"; exit 77; }
unshare --mount --propagation private true 2>/dev/null ||
    { echo "unshare --mount is not permitted here"; exit 77; }

# The programs and the block where the user can reach them, whatever the build tree's modes.
SCRATCH=$(mktemp -d)
export CHECKS TEST_USER TEST_GROUP SCRATCH
trap 'rm -rf "$SCRATCH"' EXIT
install -m 0755 "$1" "$SCRATCH/velkor"
install -m 0755 "$2" "$SCRATCH/murelpage-sim"
install -m 0644 "$3" "$SCRATCH/block.bin"
install -d -m 0755 -o "$TEST_USER" -g "$TEST_GROUP" "$SCRATCH/home"
chmod 0755 "$SCRATCH"

unshare --mount --propagation private bash -s <<'NAMESPACE'
set -u
. "$CHECKS"
mount -t tmpfs -o mode=1777,size=1m velkor-test-shm /dev/shm || { echo "FAILED: mount"; exit 1; }
as_user() {
    (cd "$SCRATCH/home" && umask 022 &&
        setpriv --reuid="$TEST_USER" --regid="$TEST_GROUP" --clear-groups -- "$@")
}
velkor=$SCRATCH/velkor sim=$SCRATCH/murelpage-sim block=$SCRATCH/block.bin
VERSION_2=$'Compiled version: 2, stored version: 2\nSUCCESS'

# ---- the user's own pages ----
on_page /userpage /userlock "$block" "$sim" "$velkor" as_user
for object in userpage userlock sem.murelpage-create-lock; do
    expect "owner of /dev/shm/$object" "$TEST_USER" "$(stat -c %U "/dev/shm/$object" 2>&1)"
done
expect "mode of the create lock" 600 "$(stat -c %a /dev/shm/sem.murelpage-create-lock)"
expect "mode of the page" 644 "$(stat -c %a /dev/shm/userpage)"
expect "velkor --backup as $TEST_USER" SUCCESS "$(as_user "$velkor" --page=/userpage \
    --pagelock=/userlock --loglevel=error --backup=backup.bin 2>&1)"
check
cmp -s "$block" "$SCRATCH/home/backup.bin" || fail "the backup differs from the block written"
expect "velkor --check of the backup as $TEST_USER" SUCCESS \
    "$(as_user "$velkor" --loglevel=error --check=backup.bin 2>&1)"

# The default names, through the environment and without it.
as_user "$sim" write --block="$block" >/dev/null
expect "murelpage-sim write to the default names" 0 "$?"
expect "velkor --check on the default names" SUCCESS \
    "$(as_user "$velkor" --loglevel=error --check 2>&1)"
expect "velkor --getver through MUREL_PAGE" "$VERSION_2" \
    "$(MUREL_PAGE=/userpage MUREL_PAGELOCK=/userlock as_user "$velkor" --getver 2>&1)"
as_user "$sim" remove --page=/userpage --pagelock=/userlock
expect "murelpage-sim remove as $TEST_USER" 0 "$?"
as_user "$sim" remove
expect "pages left" "" "$(ls /dev/shm | grep -x -e userpage -e murelpage)"

# ---- a create lock that root made first ----
rm -f /dev/shm/sem.murelpage-create-lock
(umask 022 && "$sim" write --page=/rootpage --pagelock=/rootlock --block="$block")
expect "murelpage-sim write as root" 0 "$?"
expect "mode of root's create lock" 600 "$(stat -c %a /dev/shm/sem.murelpage-create-lock)"
# Only the create lock stands in the way: the page is readable, the access object writable.
chmod 0666 /dev/shm/rootlock
output=$(as_user "$velkor" --page=/rootpage --pagelock=/rootlock --getver 2>&1)
expect "velkor --getver as $TEST_USER behind root's create lock (exit status)" 1 "$?"
expect "velkor --getver as $TEST_USER behind root's create lock" \
    "velkor: ERROR: failed attach, page: '/rootpage', pagelock: '/rootlock', res: ERROR_ATTACH_SHACC
FAILURE" "$output"
output=$(as_user "$sim" write --page=/userpage --pagelock=/rootlock --block="$block" 2>&1)
expect "murelpage-sim write as $TEST_USER behind root's create lock (exit status)" 1 "$?"
expect "murelpage-sim write as $TEST_USER behind root's create lock" \
    "murelpage-sim: cannot attach the shared access object '/rootlock'" "$output"
# The remedy: the lock's owner opens it up.
chmod 0666 /dev/shm/sem.murelpage-create-lock
expect "velkor --getver as $TEST_USER after chmod 0666" "$VERSION_2" \
    "$(as_user "$velkor" --page=/rootpage --pagelock=/rootlock --getver 2>&1)"

report
NAMESPACE
