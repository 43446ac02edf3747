#!/usr/bin/env bash
# Builds Quavel Logger for 64-bit Windows on Debian 12 with MinGW-w64.
#
# Debian ships no Qt for Windows, so the first run builds one: a static Qt
# from Debian's own qt6-base source package, of the version of the host Qt
# tools installed here, with Debian's security fixes; cross-compiled with the
# posix-threads MinGW-w64 compiler and configured for what the program uses,
# optimised for size, with two patches of ours (scripts/windows-qt). (Link-
# time optimisation would take off more, but GCC 12 for MinGW fails on Qt's
# code with an internal error.) It is kept under ${XDG_CACHE_HOME:-~/.cache}
# in a folder named after a key of the source version, the compiler version,
# the configure options and our patches, and reused while the key matches (a
# first run takes about half an hour on two cores; later runs a minute or
# two).
# Then the program is built against it in ./build-windows: one
# "Quavel Logger.exe" that needs only the DLLs every Windows has.
#   scripts/build-windows.sh [--tests] [--qt-only]
#     --tests    also the test suite, built for Windows (scripts/windows-tests.sh
#                runs it under Wine)
#     --qt-only  only make sure the cached Qt is there
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD

with_tests=OFF
qt_only=false
for arg in "$@"; do
    case $arg in
    --tests) with_tests=ON ;;
    --qt-only) qt_only=true ;;
    *) echo "usage: $0 [--tests] [--qt-only]" >&2; exit 2 ;;
    esac
done

qt_source_package=qt6-base
qt_options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DFEATURE_static_runtime=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_optimize_size=ON
    -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF
    # Loading OpenGL at run time is a feature of its own, which would still
    # want the OpenGL code.
    -DFEATURE_dynamicgl=OFF
    -DFEATURE_system_zlib=OFF
    # The offscreen platform the tests use draws text with FreeType.
    -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON
    # Without Direct2D, 6.4.2 fails to link its DirectWrite font database.
    -DFEATURE_direct2d=ON -DFEATURE_direct2d1_1=OFF
    # Debian's repackaged source has no tablet headers.
    -DFEATURE_tabletevent=OFF
    # What one log window, its menus, message boxes and file dialog never use.
    -DFEATURE_mimetype_database=OFF -DFEATURE_timezone=OFF
    -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF -DFEATURE_textmarkdownreader=OFF
    -DFEATURE_textmarkdownwriter=OFF -DFEATURE_movie=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
    -DFEATURE_imageformat_ppm=OFF -DFEATURE_undocommand=OFF -DFEATURE_sessionmanager=OFF
    -DFEATURE_systemtrayicon=OFF
    -DFEATURE_graphicsview=OFF -DFEATURE_style_stylesheet=OFF -DFEATURE_calendarwidget=OFF
    -DFEATURE_mdiarea=OFF -DFEATURE_wizard=OFF -DFEATURE_colordialog=OFF -DFEATURE_fontdialog=OFF
    -DFEATURE_errormessage=OFF -DFEATURE_progressdialog=OFF
    -DFEATURE_toolbox=OFF -DFEATURE_lcdnumber=OFF -DFEATURE_dial=OFF -DFEATURE_keysequenceedit=OFF
    -DFEATURE_fontcombobox=OFF -DFEATURE_splashscreen=OFF -DFEATURE_syntaxhighlighter=OFF
    -DFEATURE_tablewidget=OFF
)

source scripts/packages.sh
install_packages cmake ninja-build dpkg-dev patch g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
    binutils-mingw-w64-x86-64 qt6-base-dev qt6-base-dev-tools

# The Qt for Windows is the same source as the host tools that build it.
qt_source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
host_cmake_dir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake
compiler_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
# Debian's patches follow from the source version (its series file); ours
# are in scripts/windows-qt.
key=$( (printf '%s\n' "$qt_source_version" "$compiler_version" "${qt_options[@]}"; cat scripts/windows-qt/*.patch) |
    sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quavel-logger
qt_prefix=$cache/qt-$qt_source_version-mingw64-static-$key

fetch_qt_source() {
    local work=$1
    if ! grep -q "^Version: $qt_source_version\$" <<< "$(apt-cache showsrc "$qt_source_package" 2>/dev/null)"; then
        # The source package comes from where the system's own packages come
        # from: a deb-src twin of each configured deb source.
        echo "Adding deb-src twins of the system's APT sources"
        local file sources=() lists=()
        for file in /etc/apt/sources.list.d/*.sources; do
            [[ -f $file && $file != */quavel-deb-src.sources ]] && sources+=("$file")
        done
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [[ -f $file && $file != */quavel-deb-src.list ]] && lists+=("$file")
        done
        # deb822 stanzas whose types include deb, as deb-src (comments dropped).
        if ((${#sources[@]})); then
            awk 'BEGIN { RS = "" }
                 { n = split($0, line, "\n"); types = ""
                   for (i = 1; i <= n; i++) if (line[i] ~ /^Types:/) types = line[i]
                   if (types !~ /[: \t]deb([ \t]|$)/) next
                   for (i = 1; i <= n; i++) {
                       if (line[i] ~ /^#/) continue
                       print (line[i] ~ /^Types:/ ? "Types: deb-src" : line[i])
                   }
                   print "" }' "${sources[@]}" |
                as_root tee /etc/apt/sources.list.d/quavel-deb-src.sources >/dev/null
        fi
        if ((${#lists[@]})); then
            sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "${lists[@]}" |
                as_root tee /etc/apt/sources.list.d/quavel-deb-src.list >/dev/null
        fi
        as_root apt-get update
    fi
    mkdir -p "$work"
    (
        cd "$work"
        # APT checks every file against the signed index of the suite.
        apt-get source --download-only "$qt_source_package=$qt_source_version"
        local dsc
        dsc=$(ls ./*.dsc)
        # And the tarballs against the .dsc, here, before anything unpacks them.
        sed -n '/^Checksums-Sha256:/,/^[^ ]/{/^ /p}' "$dsc" | awk '{print $1 "  " $3}' | sha256sum -c -
        dpkg-source --skip-patches -x "$dsc" qtbase
        cd qtbase
        # Only Debian's security fixes, in the series' order: the rest of its
        # patches are about building for Debian itself.
        local patch
        for patch in $(sed -n 's/^\(cve-[^[:space:]#]*\).*/\1/p' debian/patches/series); do
            echo "Applying $patch"
            patch -p1 --forward --silent <"debian/patches/$patch"
        done
        # Then ours, for a smaller program.
        for patch in "$project"/scripts/windows-qt/*.patch; do
            echo "Applying $(basename "$patch")"
            patch -p1 --forward --silent <"$patch"
        done
    )
}

if [[ ! -f $qt_prefix/.complete ]]; then
    echo "Building a static Qt for Windows into $qt_prefix (once; about half an hour on 2 cores)"
    work=$cache/qt-build-$key
    rm -rf "$work"
    fetch_qt_source "$work"
    cmake -S "$work/qtbase" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$project/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
        "${qt_options[@]}"
    cmake --build "$work/build" --parallel "${QUAVEL_JOBS:-$(nproc)}"
    rm -rf "$qt_prefix"
    cmake --install "$work/build"
    touch "$qt_prefix/.complete"
    rm -rf "$work"
fi
echo "Qt for Windows: $qt_prefix"
$qt_only && exit 0

# A build configured against another Qt (an earlier key) starts afresh:
# CMake keeps the Qt it found first.
if [[ -f build-windows/CMakeCache.txt ]] && ! grep -qF "Qt6_DIR:PATH=$qt_prefix/" build-windows/CMakeCache.txt; then
    rm -rf build-windows/CMakeCache.txt build-windows/CMakeFiles
fi
# The suite, where built, runs under Wine in a prefix of the build's own.
cmake -S . -B build-windows -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$project/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt_prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-Os -DNDEBUG" \
    -DQUAVEL_WARNINGS_AS_ERRORS=ON \
    -DQUAVEL_BUILD_TESTS="$with_tests" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$project/tests/support/wine_run.sh;$project/build-windows/wine-prefix" \
    >/dev/null
cmake --build build-windows --parallel "${QUAVEL_JOBS:-$(nproc)}"
echo "Built: build-windows/src/shell/Quavel Logger.exe"
