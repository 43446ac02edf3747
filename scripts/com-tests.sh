#!/usr/bin/env bash
# The Windows side: the client binding's tests, cross-built with MinGW-w64
# in ./build-com and run under Wine against a stand-in client; then the
# whole program's sources compiled for Windows (syntax only).
#   scripts/com-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_packages "${quavel_com_packages[@]}"
cmake --preset windows-com-tests >/dev/null
cmake --build --preset windows-com-tests --parallel
tests/com/run_under_wine.sh build-com/tests/com/tst_com_binding.exe
scripts/windows-compile-check.sh
