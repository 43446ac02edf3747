#!/usr/bin/env bash
# The Windows build's tests, here on Linux: the program and its suite built
# for Windows against the cached static Qt (scripts/build-windows.sh); the
# suite run under Wine, offscreen; then the program end to end under Wine in
# a virtual display, attached to the stand-in client as a process of its own.
#   scripts/windows-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
# Wine, the fonts the suite measures with, and the virtual display and its tools.
install_packages wine64 fonts-liberation xvfb xauth xdotool xclip openbox
scripts/build-windows.sh --tests
status=0
ctest --test-dir build-windows --output-on-failure --timeout 300 --parallel "${QUAVEL_JOBS:-$(nproc)}" ||
    status=$?
WINEPREFIX=$PWD/build-windows/wine-prefix "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -k 2>/dev/null || true
exit "$status"
