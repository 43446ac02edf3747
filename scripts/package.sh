#!/usr/bin/env bash
# Makes what users install, into ./dist:
#   QuavelLogger-<version>-win64.zip   "Quavel Logger.exe" (scripts/build-windows.sh
#                                       builds it), the licences and a short readme
#   QuavelLogger-<version>-win64-setup.exe
#                                      the same files in an installer, made by NSIS
#                                       (packaging/quavel-logger.nsi)
#   quavel-logger_<version>_amd64.deb  the Linux program, made by CPack in
#                                       ./build-deb with Debian's hardening flags,
#                                       then checked by lintian
#   scripts/package.sh [--deb | --zip | --installer]   only the one
# The version is CMake's (project(VERSION) in CMakeLists.txt), read from each
# configured build. The same sources give the same packages: dates in them
# come from SOURCE_DATE_EPOCH if set, else from the last git commit.
set -euo pipefail
cd "$(dirname "$0")/.."
make_zip=true make_installer=true make_deb=true
case "${1:-}" in
--deb) make_zip=false make_installer=false ;;
--zip) make_installer=false make_deb=false ;;
--installer) make_zip=false make_deb=false ;;
"") ;;
*) echo "usage: $0 [--deb | --zip | --installer]" >&2; exit 2 ;;
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

# Sizes as people read them, in MB.
megabytes() { awk -v bytes="$(stat -c %s "$1")" 'BEGIN { printf "%.2f MB, %d bytes", bytes / 1048576, bytes }'; }

if $make_zip || $make_installer; then
    install_packages p7zip-full nsis
    scripts/build-windows.sh
    version=$(cmake_version build-windows)
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    folder=$stage/QuavelLogger-$version
    mkdir -p "$folder"
    epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
    # strip stamps the program's header with this time rather than the clock's.
    SOURCE_DATE_EPOCH=$epoch x86_64-w64-mingw32-strip -o "$folder/Quavel Logger.exe" \
        "build-windows/src/shell/Quavel Logger.exe"
    # Windows line endings for the texts, as Notepad reads them.
    sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
    sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/README-windows.txt >"$folder/README.txt"
    # Qt is linked in under the LGPL version 3, which comes with the GPL's text.
    sed 's/$/\r/' /usr/share/common-licenses/LGPL-3 >"$folder/Qt-LGPL-3.txt"
    sed 's/$/\r/' /usr/share/common-licenses/GPL-3 >"$folder/Qt-GPL-3.txt"
    touch -d "@$epoch" "$folder" "$folder"/*
fi

if $make_zip; then
    zip=dist/QuavelLogger-$version-win64.zip
    rm -f "$zip"
    # 7-Zip's Deflate, searched hardest: a plain zip every Windows opens,
    # some 3% smaller than zip -9's.
    (cd "$stage" && 7z a -tzip -mx=9 -mfb=258 -mpass=15 -bso0 -bsp0 "$OLDPWD/$zip" "QuavelLogger-$version")
    echo "$zip ($(megabytes "$zip"))"
fi

if $make_installer; then
    setup=dist/QuavelLogger-$version-win64-setup.exe
    # The version record wants four numbers: 1.00 is 1.0.0.0.
    IFS=. read -r major minor _ <<<"$version"
    # Named once: publisher and copyright as the program's version record
    # has them, the homepage as its About window has it.
    record() { sed -n "s/.*VALUE \"$1\", \"\(.*\)\"/\1/p" assets/quavel-logger.rc.in; }
    makensis -V2 -DVERSION="$version" -DVERSION_NUMBERS="$major.$((10#$minor)).0.0" -DSTAGE="$folder" \
        -DASSETS="$PWD/assets" -DPUBLISHER="$(record CompanyName)" \
        -DCOPYRIGHT="$(record LegalCopyright)" -DHOMEPAGE="$(grep -o 'https://[^"]*' src/shell/app_identity.cpp)" \
        -DOUTFILE="$PWD/$setup" packaging/quavel-logger.nsi
    echo "$setup ($(megabytes "$setup"))"
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
