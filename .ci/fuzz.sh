#!/usr/bin/env bash
# Fuzzing: builds the "fuzz" preset (Clang 14, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz target for a short time (FUZZ_SECONDS, default
# 30) on its committed corpus, with its dictionary. New inputs go to a scratch corpus that is
# removed afterwards; a crashing input is kept in build/fuzz/artifacts/ and fails the script.
# Skips cleanly when Clang 14 or its libFuzzer runtime is missing.
#
#   .ci/fuzz.sh [target ...]        (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-30}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(description page_client option_table string option_file)
fi

# Clang 14 and its runtimes (libFuzzer, the sanitizers) where they can be installed.
need=()
for pkg in clang-14 libclang-rt-14-dev; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ] && [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" || true
fi

if ! command -v clang++-14 >/dev/null 2>&1; then
    echo "fuzz: clang++-14 not found, fuzzing skipped"
    exit 0
fi
if ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    echo "fuzz: the libFuzzer runtime of Clang 14 is missing, fuzzing skipped"
    exit 0
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/%/_fuzz}"

build=build/fuzz
artifacts="$build/artifacts"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/velkor-fuzz-corpus.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"

failed=0
for target in "${targets[@]}"; do
    mkdir -p "$scratch/$target"
    # Page inputs are 8192 bytes and more; the others stay small so that runs stay fast.
    max_len=4096
    if [ "$target" = page_client ]; then max_len=8448; fi
    dict=()
    if [ -f "fuzz/dict/$target.dict" ]; then dict=(-dict="$PWD/fuzz/dict/$target.dict"); fi
    echo "fuzz: $target for ${seconds}s"
    if ! "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" \
            -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
            -artifact_prefix="$PWD/$artifacts/${target}-" \
            "$scratch/$target" "$PWD/fuzz/corpus/$target" >"$artifacts/$target.log" 2>&1; then
        echo "fuzz: $target FAILED, see $artifacts/$target.log:"
        tail -n 40 "$artifacts/$target.log"
        failed=1
    else
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
            "$artifacts/$target.log" | sed "s/^/fuzz: $target /"
    fi
done
exit "$failed"
