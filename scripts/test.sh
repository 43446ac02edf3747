#!/usr/bin/env bash
# Sets up, builds and runs every test. No display is needed: the tests run
# offscreen or in a virtual X display of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
cd build
ctest --output-on-failure --timeout 300
