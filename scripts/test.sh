#!/usr/bin/env bash
# Sets up, builds and runs every test: the suite, the Windows client
# binding under Wine, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz target for a fixed number of
# runs. No display is needed: the tests run offscreen or in a virtual X
# display of their own. Builds in ./build-ci with the ci preset, where
# compiler warnings are errors.
#   scripts/test.sh [--quick]    --quick: the suite only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
ctest --preset ci
if [[ "${1:-}" != "--quick" ]]; then
    scripts/com-tests.sh
    scripts/sanitize.sh
    scripts/fuzz.sh
fi
