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

missing_of() {
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || echo "$package"
    done
}
mapfile -t missing < <(missing_of "${packages[@]}")
missing_optional=()
if ((${#optional[@]})); then
    mapfile -t missing_optional < <(missing_of "${optional[@]}")
fi
if ((${#missing[@]} + ${#missing_optional[@]})); then
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || { echo "Please run as root, or install sudo." >&2; exit 1; }
        sudo="sudo"
    fi
    $sudo apt-get update
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
    fi
    if ((${#missing_optional[@]})); then
        echo "Installing: ${missing_optional[*]}"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing_optional[@]}" ||
            echo "Could not install ${missing_optional[*]}: the real-client test will be skipped."
    fi
fi

cmake --preset linux >/dev/null
cmake --build --preset linux --parallel
