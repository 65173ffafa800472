#!/usr/bin/env bash
# tests/stress/run_stress.sh [SECONDS [MIN_VELKOR_READS [unlocked]]]   (defaults: 60, 10000)
# The page-lock stress run on a release build (build/stress, or VELKOR_STRESS_BUILD), bounded.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${VELKOR_STRESS_BUILD:-build/stress}"
[ -f "$build/CMakeCache.txt" ] ||
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELKOR_WERROR=ON >/dev/null
cmake --build "$build" --target velkor velkor_stress -j2 >/dev/null
timeout --kill-after=10 $((${1:-60} + 120)) "$build/tests/stress/velkor_stress" \
    "$build/app/velkor" "${1:-60}" "${2:-10000}" ${3:+"$3"}
