#!/usr/bin/env bash
# Runs test functions of a QTest program with Qt's AT-SPI bridge on (xcb, a
# virtual display, a private session bus with its accessibility bus), so
# that the program's accessibility events are raised at all; offscreen Qt
# raises none.
#   bridge_on.sh PROGRAM [FUNCTION...]
set -uo pipefail
source "$(dirname "$0")/../support/x11.sh"
need_tools xvfb-run dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher
if [[ "${QUAVEL_BRIDGE_ON:-}" != 1 ]]; then
    export QUAVEL_BRIDGE_ON=1
    exec timeout 120 xvfb-run -a -s "-screen 0 800x500x24" dbus-run-session -- "$0" "$@"
fi
# Qt turns the bridge on once the accessibility bus is there.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 || { echo "SKIP: no accessibility bus"; exit 77; }
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec "$@" 2> >(grep -v '^dbus-daemon\|SpiRegistry' >&2)
