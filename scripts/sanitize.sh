#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# ./build-asan and runs the whole test suite there, leaks checked; compiler
# warnings are errors, as in the ci preset it inherits.
#   scripts/sanitize.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
# What the suite needs, as scripts/setup.sh --tests installs it.
install_packages "${quavel_build_packages[@]}" "${quavel_suite_packages[@]}"
install_packages "${quavel_real_client_packages[@]}" ||
    echo "Could not install ${quavel_real_client_packages[*]}: the real-client test will be skipped."
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --parallel
ctest --preset sanitize
