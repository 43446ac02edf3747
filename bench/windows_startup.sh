#!/usr/bin/env bash
# Start-up time of Windows builds of the program under Wine, in one run so
# that they are compared on the same machine at the same time: from the
# start of the process to the first line of its log reaching the file given
# with --log-file (the window is up by then), on the demo client, in a
# virtual display. The builds take turns; the median of each is reported.
#   bench/windows_startup.sh ROUNDS PROGRAM.exe [PROGRAM.exe...]
set -euo pipefail
rounds=$1
shift
for tool in xvfb-run inotifywait; do command -v "$tool" >/dev/null || { echo "needs $tool (xvfb, inotify-tools)"; exit 1; }; done
source "$(dirname "$0")/../tests/support/wine.sh"

if [[ ${INSIDE_DISPLAY:-} != 1 ]]; then
    work=$(mktemp -d)
    trap 'WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT
    export WORK=$work WINEPREFIX=$work/prefix INSIDE_DISPLAY=1
    xvfb-run -a -s "-screen 0 800x500x24" "$0" "$rounds" "$@"
    exit
fi

new_prefix
# One wineserver for every run: its own start-up is not the program's.
"$wineserver" -p
logs=$WINEPREFIX/drive_c/logs
mkdir -p "$logs"
declare -A times
for round in $(seq "$rounds"); do
    for program in "$@"; do
        rm -f "$logs/log.txt"
        inotifywait -q -e modify --format x "$logs" >/dev/null &
        watcher=$!
        # inotifywait is watching once it has printed its set-up to stderr;
        # it prints nothing with -q, so give the watch a moment to exist.
        while ! grep -q inotify "/proc/$watcher/fdinfo/"* 2>/dev/null; do :; done
        start=$(date +%s%N)
        "$wine" "$program" --demo --log-file 'C:\logs\log.txt' >/dev/null 2>&1 &
        app=$!
        wait "$watcher"
        end=$(date +%s%N)
        kill "$app" 2>/dev/null; wait "$app" 2>/dev/null || true
        "$wine" taskkill /f /im "$(basename "$program")" >/dev/null 2>&1 || true
        times[$program]+="$(((end - start) / 1000000)) "
    done
done
for program in "$@"; do
    sorted=$(tr ' ' '\n' <<<"${times[$program]}" | grep . | sort -n)
    count=$(wc -l <<<"$sorted")
    median=$(sed -n "$(((count + 1) / 2))p" <<<"$sorted")
    echo "$program: median ${median} ms over $count runs (all: $(tr '\n' ' ' <<<"$sorted"))"
done
