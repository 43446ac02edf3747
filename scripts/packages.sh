# shellcheck shell=bash
# Sourced by the scripts that install what they need from Debian's archive.

# Runs a command as root: directly when root, else through sudo.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        command -v sudo >/dev/null || { echo "Please run as root, or install sudo." >&2; exit 1; }
        sudo "$@"
    fi
}

# Installs those of the named packages that are missing (APT's lists are
# updated once, before the first install).
install_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    if [[ -z ${apt_lists_updated:-} ]]; then
        as_root apt-get update
        apt_lists_updated=1
    fi
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# What the scripts install, named once here so that a script run alone
# installs the same as the set-up that runs it.
# To build the program (Qt's CMake files want OpenGL's headers), and the
# fonts and session bus it runs with.
quavel_build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-liberation dbus)
# The test suite: the end-to-end test drives the real program in a virtual X
# display; the desktop entry and the Windows version record are checked too;
# the screen-reader test reads the program through the accessibility bus;
# the format check runs clang-format 16.
quavel_suite_packages=(xvfb xauth xdotool xclip openbox desktop-file-utils binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev at-spi2-core python3-pyatspi clang-format-16)
# The fuzz target: clang and its libFuzzer runtime.
quavel_fuzz_packages=(cmake ninja-build pkg-config qt6-base-dev clang libclang-rt-14-dev)
# The Windows client binding, cross-built with MinGW-w64 and run under Wine;
# the program's sources compiled for Windows against the system's Qt headers.
quavel_com_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    binutils-mingw-w64-x86-64 wine64 qt6-base-dev)
# The real-client test: a libpurple client, an XMPP server and a scripted
# peer. Without them that test is skipped and says why.
quavel_real_client_packages=(finch prosody python3-slixmpp tmux)
