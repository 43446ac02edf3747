#!/usr/bin/env bash
# Runs a command in a throw-away X display with a window manager, waits, and
# saves a screenshot of the whole screen: how a user sees the program.
#   scripts/screenshot.sh OUT.png SECONDS COMMAND [ARGS...]
# Installs what is missing: the virtual display, the window manager and
# ImageMagick, whose import takes the screenshot.
set -euo pipefail
if (($# < 3)); then
    echo "usage: $0 OUT.png SECONDS COMMAND [ARGS...]" >&2
    exit 2
fi
source "$(dirname "$0")/packages.sh"
install_packages xvfb xauth openbox imagemagick
# Everything reaches the inner script as its own positional argument, never
# spliced into its text, so any name or argument survives as given.
xvfb-run -a -s "-screen 0 800x500x24 -dpi 96" bash -c '
    set -euo pipefail
    out=$1 wait=$2
    shift 2
    openbox >/dev/null 2>&1 &
    sleep 1
    "$@" &
    app=$!
    sleep "$wait"
    import -window root "$out"
    kill "$app" 2>/dev/null || true
' screenshot "$@"
