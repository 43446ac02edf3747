#!/usr/bin/env bash
# Runs the cross-built COM binding tests under Wine, headless, in a Wine
# prefix of their own that is removed afterwards.
#   run_under_wine.sh TEST.exe
set -uo pipefail
test_program=$(realpath "$1")
source "$(dirname "$0")/../support/wine.sh"
[ -x "$wine" ] || { echo "SKIP: Wine (wine64) is not installed"; exit 77; }

work=$(mktemp -d)
unset DISPLAY WAYLAND_DISPLAY
# The prefix whole first: until Wine's services run, registering a class
# for other apartments can fail.
new_prefix "$work/prefix"
trap '"$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT

# Wine keeps pipes open for seconds after a program ends: files, not pipes.
timeout 300 "$wine" "$test_program" > "$work/out.txt" 2> "$work/err.txt"
status=$?
cat "$work/out.txt"
[ "$status" -eq 0 ] || { echo "exit status $status; Wine said:"; tail -n 20 "$work/err.txt"; }
exit "$status"
