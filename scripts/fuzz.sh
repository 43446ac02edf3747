#!/usr/bin/env bash
# Builds the fuzz target with clang's libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) in ./build-fuzz and runs it from the committed
# seed corpus for a fixed number of runs.
#   scripts/fuzz.sh [RUNS]      default 1000000 (about 80 s on 2 cores)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# New inputs go to a scratch folder, never into the committed corpus.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd build-fuzz
ASAN_OPTIONS=detect_leaks=0 ./tests/fuzz/fuzz-log-text -runs="$runs" -max_len=8192 -timeout=10 \
    -seed=1 -print_final_stats=1 "$scratch" ../tests/fuzz/corpus
