#!/usr/bin/env bash
# Runs the page-lock stress program against a release build of velkor.
#
#   tests/stress/run_stress.sh [SECONDS] [MIN_VELKOR_READS]
#
# Defaults: 60 seconds, at least 10000 velkor --check runs. Builds velkor and velkor_stress in
# build/stress (release, no sanitizers) unless VELKOR_STRESS_BUILD names another build directory.
# The whole run is bounded: the program stops at SECONDS, every child is killed after its own bound,
# and this script gives up SECONDS + 120 seconds after the start.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds="${1:-60}"
min_reads="${2:-10000}"
build="${VELKOR_STRESS_BUILD:-build/stress}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELKOR_WERROR=ON >/dev/null
fi
cmake --build "$build" --target velkor velkor_stress -j2 >/dev/null

timeout --kill-after=10 $((seconds + 120)) "$build/tests/stress/velkor_stress" \
    --velkor="$build/app/velkor" --seconds="$seconds" --writers=3 --checkers=4 --readers=2 \
    --min-velkor-reads="$min_reads" --bound=20
