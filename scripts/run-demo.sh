#!/usr/bin/env bash
# Sets up, builds and starts Quavel Logger on its built-in demo client.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/src/shell/quavel-logger --demo "$@"
