#!/usr/bin/env bash
# Makes what users install, into ./dist:
#   QuavelLogger-<version>-win64.zip   "Quavel Logger.exe" (scripts/build-windows.sh
#                                       builds it), the licences and a short readme
#   quavel-logger_<version>_amd64.deb  the Linux program, made by CPack in
#                                       ./build-deb with Debian's hardening flags,
#                                       then checked by lintian
#   scripts/package.sh [--deb | --zip]   only the one
set -euo pipefail
cd "$(dirname "$0")/.."
make_zip=true make_deb=true
case "${1:-}" in
--deb) make_zip=false ;;
--zip) make_deb=false ;;
"") ;;
*) echo "usage: $0 [--deb | --zip]" >&2; exit 2 ;;
esac
version=$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt | head -n1)
mkdir -p dist

source scripts/packages.sh

if $make_zip; then
    install_packages zip
    scripts/build-windows.sh
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
    touch -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)" "$folder" "$folder"/*
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
    (cd build-deb && cpack -G DEB >/dev/null)
    deb=quavel-logger_${version}_amd64.deb
    mv "build-deb/$deb" dist/
    # Every warning and error fails the package.
    lintian --fail-on error,warning --display-info "dist/$deb"
    echo "dist/$deb"
fi
