#!/usr/bin/env bash
# Builds the fuzz target with clang's libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) in ./build-fuzz and runs it from the committed
# seed corpus for a fixed number of runs.
#   scripts/fuzz.sh [RUNS]      default 1000000 (about 80 s on 2 cores)
# When an input breaks an invariant, the input is shrunk and printed in
# base64 as the last lines, so that a CI log alone is enough to reproduce
# it: put it in tests/fuzz/corpus and run the target on that file.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
source scripts/packages.sh
install_packages "${quavel_fuzz_packages[@]}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# New inputs go to a scratch folder, never into the committed corpus.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus" "$scratch/found"
target=build-fuzz/tests/fuzz/fuzz-log-text
export ASAN_OPTIONS=detect_leaks=0
status=0
"$target" -runs="$runs" -max_len=8192 -timeout=10 -seed=1 -print_final_stats=1 \
    -artifact_prefix="$scratch/found/" "$scratch/corpus" tests/fuzz/corpus || status=$?
if [[ $status -ne 0 ]]; then
    for found in "$scratch"/found/*; do
        [[ -e $found ]] || continue
        "$target" -minimize_crash=1 -max_total_time=120 -runs=200000 \
            -exact_artifact_path="$found.min" "$found" >/dev/null 2>&1 || true
        [[ -s $found.min ]] || cp "$found" "$found.min"
        echo "Failing input ($(stat -c %s "$found.min") bytes, base64):"
        base64 -w 0 "$found.min"
        echo
    done
    exit "$status"
fi
