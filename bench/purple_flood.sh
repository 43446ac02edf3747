#!/usr/bin/env bash
# The libpurple binding under a flood: Finch signed in as alice on a private
# bus, Prosody on loopback, and PEERS local peers that sign in at once and go
# busy, extended away and available back to back. With --stop SECONDS, Finch
# is stopped that long in the middle of the flood. The crowd and Prosody
# stand in for other machines: they run at a lower priority, so that the
# figures are the program's and Finch's, not the crowd's. Run by hand.
#   bench/purple_flood.sh BUILD_DIR [PEERS] [--stop SECONDS]    default 300 peers
set -euo pipefail
build=$(cd "$1" && pwd)
peers=${2:-300}
stop=0
[ "${3:-}" = "--stop" ] && stop=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/purple/world.sh"
for tool in prosody finch tmux dbus-daemon; do command -v "$tool" >/dev/null || { echo "needs $tool"; exit 1; }; done

work=$(mktemp -d)
trap world_stop EXIT
world_start "$work" "$peers"
start_finch
QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 QUAVEL_BENCH_DONE_FILE="$work/crowd.in" "$build/bench/purple-flood-bench" > "$work/bench.out" 2>"$work/bench.err" &
bench=$!
for _ in $(seq 1 100); do grep -q '^shown' "$work/bench.out" && break; sleep 0.1; done
renice -n 10 -p "$(cat "$work/prosody.pid")" >/dev/null
nice -n 10 "$python" "$world_here/crowd.py" "$peers" "$QUAVEL_PORT" "$work/crowd.stop" > "$work/crowd.out" 2>&1 &
crowd=$!
if [ "$stop" != 0 ]; then
    for _ in $(seq 1 300); do grep -q 'first peer' "$work/crowd.out" && break; sleep 0.05; done
    sleep 0.3
    kill -STOP "$(finch_pid)"
    sleep "$stop"
    kill -CONT "$(finch_pid)"
fi
for _ in $(seq 1 600); do grep -q 'signed in' "$work/crowd.out" && break; sleep 0.1; done
touch "$work/crowd.in"
wait "$bench"
touch "$work/crowd.stop"
wait "$crowd"
printf '%d peers%s: ' "$peers" "$([ "$stop" != 0 ] && echo ", client stopped ${stop} s")"
tail -n1 "$work/bench.out"
