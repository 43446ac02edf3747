#!/usr/bin/env bash
# Makes what users install, into ./dist:
#   QuavelLogger-<version>-win64.zip   "Quavel Logger.exe" (scripts/build-windows.sh
#                                       builds it), the licences and a short readme
#   quavel-logger_<version>_amd64.deb  the Linux program, made by CPack in
#                                       ./build-deb with Debian's hardening flags,
#                                       then checked by lintian
#   scripts/package.sh [--deb | --zip]   only the one
# The version is CMake's (project(VERSION) in CMakeLists.txt), read from each
# configured build. The same sources give the same packages: dates in them
# come from SOURCE_DATE_EPOCH if set, else from the last git commit.
set -euo pipefail
cd "$(dirname "$0")/.."
make_zip=true make_deb=true
case "${1:-}" in
--deb) make_zip=false ;;
--zip) make_deb=false ;;
"") ;;
*) echo "usage: $0 [--deb | --zip]" >&2; exit 2 ;;
esac
mkdir -p dist

# The project's version as CMake set it when it configured BUILD_DIR.
cmake_version() {
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt")
    [[ -n $version ]] || { echo "no project version in $1/CMakeCache.txt" >&2; exit 1; }
    echo "$version"
}

source scripts/packages.sh

if $make_zip; then
    install_packages zip
    scripts/build-windows.sh
    version=$(cmake_version build-windows)
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    folder=$stage/QuavelLogger-$version
    mkdir -p "$folder"
    x86_64-w64-mingw32-strip -o "$folder/Quavel Logger.exe" "build-windows/src/shell/Quavel Logger.exe"
    # Windows line endings for the texts, as Notepad reads them.
    sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
    sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/README-windows.txt >"$folder/README.txt"
    # Qt is linked in under the LGPL version 3, which comes with the GPL's text.
    sed 's/$/\r/' /usr/share/common-licenses/LGPL-3 >"$folder/Qt-LGPL-3.txt"
    sed 's/$/\r/' /usr/share/common-licenses/GPL-3 >"$folder/Qt-GPL-3.txt"
    touch -d "@${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}" "$folder" "$folder"/*
    rm -f "dist/QuavelLogger-$version-win64.zip"
    (cd "$stage" && zip -qrX -D "$OLDPWD/dist/QuavelLogger-$version-win64.zip" "QuavelLogger-$version")
    echo "dist/QuavelLogger-$version-win64.zip"
fi

if $make_deb; then
    install_packages cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev dpkg-dev file lintian
    # Debian's own compiler and linker flags, all hardening on, as lintian checks.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUAVEL_BUILD_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
    cmake --build build-deb --parallel "${QUAVEL_JOBS:-$(nproc)}"
    version=$(cmake_version build-deb)
    (cd build-deb && cpack -G DEB >/dev/null)
    deb=quavel-logger_${version}_amd64.deb
    mv "build-deb/$deb" dist/
    # Every warning and error fails the package.
    lintian --fail-on error,warning --display-info "dist/$deb"
    echo "dist/$deb"
fi
