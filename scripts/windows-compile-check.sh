#!/usr/bin/env bash
# Compiles the program's own sources for Windows with MinGW-w64, syntax only,
# with the system's Qt headers, which the program uses the same way on every
# platform: a check in seconds of what only a Windows build sees (the COM
# binding, Win32 headers), without the Qt for Windows that
# scripts/build-windows.sh builds once and links against.
#   scripts/windows-compile-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
qt=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
export qt
compile() {
    # QUAVEL_VERSION comes from CMake in a real build.
    x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -w \
        -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -DQT_NO_CAST_FROM_ASCII \
        -DQUAVEL_VERSION='"0"' \
        -Isrc -I"$qt" -I"$qt/QtCore" -I"$qt/QtGui" -I"$qt/QtWidgets" "$1" ||
        { echo "does not compile for Windows: $1"; return 1; }
}
export -f compile
# The POSIX and ICU halves of a platform split are built on Linux only, as
# the D-Bus binding is; their Windows halves are checked here.
ls src/shell/*.cpp src/eventlog/*.cpp src/messenger/demo/*.cpp src/messenger/com/*.cpp |
    grep -Ev '_(posix|icu)\.cpp$' |
    xargs -P "$(nproc)" -I{} bash -c 'compile {}'
echo "the program's sources compile for Windows (syntax only)"
