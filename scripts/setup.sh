#!/usr/bin/env bash
# Installs what Quavel Logger needs on Debian 12 (only what is missing) and
# builds it.
#   scripts/setup.sh            the program alone, in ./build (the linux preset)
#   scripts/setup.sh --tests    also what the test suite needs; the program, its
#                               suite and the benchmarks in ./build-ci (the ci
#                               preset: warnings are errors there)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

if [[ "${1:-}" == "--tests" ]]; then
    install_packages "${quavel_build_packages[@]}" "${quavel_suite_packages[@]}" \
        "${quavel_fuzz_packages[@]}" "${quavel_com_packages[@]}"
    install_packages "${quavel_real_client_packages[@]}" ||
        echo "Could not install ${quavel_real_client_packages[*]}: the real-client test will be skipped."
    cmake --preset ci >/dev/null
    cmake --build --preset ci --parallel
else
    install_packages "${quavel_build_packages[@]}"
    # A user's build: no warnings as errors, so that a newer compiler's new
    # warning does not stop it; and only the program, not the suite.
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target quavel-logger --parallel
fi
