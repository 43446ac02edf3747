# Wine for the tests: quiet, without the Mono and Gecko prompts, and making
# no menu entries on this machine's desktop. Sourced.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Makes a fresh prefix at $1 (or $WINEPREFIX) and waits until it is whole: a
# program starting COM meanwhile can wait for ever on Wine's service manager.
# Wine stops when the script does.
new_prefix() {
    export WINEPREFIX=${1:-$WINEPREFIX}
    trap '"$wineserver" -k 2>/dev/null' EXIT
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
}
