#!/usr/bin/env bash
# Installs what Quavel Logger needs on Debian 12 (only what is missing) and
# builds it in ./build.
#   scripts/setup.sh [--tests]    --tests: also what the test suite needs
set -euo pipefail
cd "$(dirname "$0")/.."

optional=()
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-liberation dbus)
if [[ "${1:-}" == "--tests" ]]; then
    # The end-to-end test drives the real program in a virtual X display;
    # the desktop entry and the Windows version record are checked too;
    # the fuzz target needs clang and its libFuzzer runtime; the Windows
    # client binding is cross-built and run under Wine; the screen-reader
    # test reads the program through the accessibility bus.
    packages+=(xvfb xauth xdotool xclip openbox desktop-file-utils binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
        clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine64 at-spi2-core python3-pyatspi)
    # The real-client test: a libpurple client, an XMPP server and a scripted
    # peer. Without them that test is skipped and says why.
    optional=(finch prosody python3-slixmpp tmux)
fi

source scripts/packages.sh
install_packages "${packages[@]}"
if ((${#optional[@]})); then
    install_packages "${optional[@]}" || echo "Could not install ${optional[*]}: the real-client test will be skipped."
fi

cmake --preset linux >/dev/null
cmake --build --preset linux --parallel
