#!/usr/bin/env bash
# Runs a command in a throw-away X display with a window manager, waits, and
# saves a screenshot of the whole screen: how a user sees the program.
#   scripts/screenshot.sh OUT.png SECONDS COMMAND [ARGS...]
set -euo pipefail
out=$1 wait=$2
shift 2
xvfb-run -a -s "-screen 0 800x500x24 -dpi 96" bash -c '
    openbox >/dev/null 2>&1 &
    sleep 1
    "$@" &
    app=$!
    sleep '"$wait"'
    import -window root '"$out"'
    kill $app 2>/dev/null || true
' _ "$@"
