#!/usr/bin/env bash
# Checks what the build hands to desktops and to Windows: the desktop entry
# validates, the Windows version record compiles with its strings in the
# U.S. English Unicode table, and an install puts program, entry and icons
# where freedesktop desktops look.
#   packaging.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1 build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$source_dir/assets/quavel-logger.desktop"
    echo "desktop entry: valid"
else
    echo "SKIP desktop entry: desktop-file-validate is not installed"; status=77
fi

if command -v x86_64-w64-mingw32-windres >/dev/null; then
    # The host's preprocessor with the MinGW headers stands in for a
    # cross-compiler, which this check does not need.
    x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc \
        --preprocessor-arg=-DRC_INVOKED --preprocessor-arg=-D_WIN32 --preprocessor-arg=-D_WIN64 \
        -c 65001 -I /usr/share/mingw-w64/include \
        "$build_dir/assets/quavel-logger.rc" -O coff -o "$work/version.res"
    # The strings sit in the resource as UTF-16; without the zero bytes they read as text.
    tr -d '\000' < "$work/version.res" > "$work/version.txt"
    for text in "040904B0" "FileDescription" "Event/Status Logger for MSN 4.x-6.0" \
        "OriginalFilename" "Quavel Logger.exe" "ProductVersion" "1.00"; do
        grep -qaF "$text" "$work/version.txt" || { echo "version record lacks $text"; exit 1; }
    done
    echo "version record: compiles, strings present"
else
    echo "SKIP version record: x86_64-w64-mingw32-windres is not installed"; status=77
fi

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr >/dev/null
for file in usr/bin/quavel-logger usr/share/applications/quavel-logger.desktop \
    usr/share/icons/hicolor/16x16/apps/quavel-logger.png \
    usr/share/icons/hicolor/256x256/apps/quavel-logger.png; do
    [ -f "$work/root/$file" ] || { echo "install lacks /$file"; exit 1; }
done
echo "install: program, desktop entry and icons in place"
exit $status
