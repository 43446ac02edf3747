#!/usr/bin/env bash
# Runs a cross-built Windows test program under Wine: ctest's emulator for a
# suite built for Windows on Linux.
#   wine_run.sh WINEPREFIX PROGRAM.exe [ARGUMENTS...]
set -uo pipefail
export WINEPREFIX=$1
shift
source "$(dirname "$0")/wine.sh"
unset DISPLAY WAYLAND_DISPLAY
# Tests run side by side: the first makes the prefix, whole, while the
# others wait; a program started in a prefix still being made fails at once.
(
    flock 9
    if [[ ! -f $WINEPREFIX/.made ]]; then
        new_prefix
        touch "$WINEPREFIX/.made"
    fi
) 9>"$WINEPREFIX.lock"
# Wine hands a Windows program the QT_ variables only when named WINEQT_;
# QTest writes to stderr only when asked to.
while IFS='=' read -r name _; do
    export "WINE$name=${!name}"
done < <(env | grep '^QT_')
export WINEQT_FORCE_STDERR_LOGGING=1
# Offscreen, Qt for Windows draws with the fonts in this folder: the same
# fonts the Linux suite measures with.
export WINEQT_QPA_FONTDIR=${WINEQT_QPA_FONTDIR:-Z:/usr/share/fonts/truetype/liberation}
# Wine's own processes keep pipes open for seconds after the program ends:
# files, not pipes.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$wine" "$@" >"$out" 2>"$err"
status=$?
cat "$out"
grep -v -e '^wine: ' -e '^[0-9a-f]*:err:' "$err" >&2
exit "$status"
