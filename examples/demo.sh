#!/usr/bin/env bash
# The main job on the sample adjust block, out of the box:
#   1. builds velkor and murelpage-sim only (preset "demo": a release build without the tests, so
#      GoogleTest is not needed; configured first when needed),
#   2. writes examples/adjust-block.bin into a MurelPage under private names with murelpage-sim,
#   3. runs velkor --getver, --check, --dump, --get of two entries and a --config dump on it,
#   4. removes the page again (also when a step fails).
# Exits non-zero when any step fails.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build/demo"

cd "$repo"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset demo
fi
cmake --build --preset demo

find_binary() {
    local path
    path="$(find "$build" -type f -name "$1" -perm -u+x -not -path '*/CMakeFiles/*' | head -n 1)"
    if [ -z "$path" ]; then
        echo "demo: $1 not found under $build" >&2
        exit 1
    fi
    printf '%s\n' "$path"
}
velkor="$(find_binary velkor)"
sim="$(find_binary murelpage-sim)"

page="/velkor-demo-$$-page"
lock="/velkor-demo-$$-lock"
cleanup() {
    "$sim" remove --page="$page" --pagelock="$lock" || true
}
trap cleanup EXIT

step() {
    printf '\n$ %s\n' "$*"
    "$@"
}

step "$sim" write --page="$page" --pagelock="$lock" --block=examples/adjust-block.bin
step "$velkor" --page="$page" --pagelock="$lock" --getver
step "$velkor" --page="$page" --pagelock="$lock" --check
step "$velkor" --page="$page" --pagelock="$lock" --dump
step "$velkor" --page="$page" --pagelock="$lock" \
    --get=E2P.Networking.Eth0MacAddr,E2P.Networking.Eth1MacAddr
step "$velkor" --page="$page" --pagelock="$lock" --config=examples/adjust-block.txt --dump
printf '\ndemo: all steps succeeded\n'
