#!/usr/bin/env bash
# The program on the demo client read as a screen reader reads it: through
# AT-SPI, on a private session bus, in a virtual display (see reader.py).
#   screen_reader.sh PROGRAM
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/x11.sh"
need_tools xvfb-run dbus-run-session /usr/libexec/at-spi-bus-launcher
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }

if [[ "${2:-}" != "--inside" ]]; then
    exec timeout 120 xvfb-run -a -s "-screen 0 800x500x24" dbus-run-session -- "$0" "$program" --inside
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# One hour between simulated events: only the reader's actions change the log.
"$program" --demo --seed 1 --demo-interval 3600000 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT
timeout 90 /usr/bin/python3 "$here/reader.py"
