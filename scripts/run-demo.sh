#!/usr/bin/env bash
# Installs what is missing, builds the program alone in ./build (not the test
# suite or the benchmarks) and starts it on its built-in demo client.
#   scripts/run-demo.sh [OPTIONS...]    options go to the program, e.g. --seed 7
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/src/shell/quavel-logger --demo "$@"
