#!/usr/bin/env bash
# The libpurple binding under a flood: Finch signed in as alice on a private
# bus, Prosody on loopback, and PEERS local peers that sign in at once and go
# busy, extended away and available back to back. With --stop SECONDS, Finch
# is stopped that long in the middle of the flood. The crowd and Prosody
# stand in for other machines: they run at a lower priority, so that the
# figures are the program's and Finch's, not the crowd's. Run by hand.
#   bench/purple_flood.sh BUILD_DIR [PEERS] [--stop SECONDS]    default 300 peers
# Two timed rows, with 300 of the buddies signed in beforehand (purple_wave.py):
#   --first-reading  2,000 buddies; 0.2 s after the window shows, while the
#       program still reads what they show, 200 go away then busy and 50
#       sign off; 5 s later 50 others go away then busy (the control).
#       Prints how many of these changes the log has.
#   --hang  5,000 buddies; 0.2 s after the window shows Finch is stopped,
#       the 300 go away, and once a call has timed out (the bench sets 5 s)
#       Finch goes on. Prints the time from then to all 300 logged Away.
set -euo pipefail
build=$(cd "$1" && pwd)
peers=${2:-300}
stop=0
[ "${3:-}" = "--stop" ] && stop=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/purple/world.sh"
for tool in prosody finch tmux dbus-daemon; do command -v "$tool" >/dev/null || { echo "needs $tool"; exit 1; }; done

if [ "${2:-}" = --first-reading ] || [ "${2:-}" = --hang ]; then
    row=$2
    work=$(mktemp -d)
    trap world_stop EXIT
    world_start "$work" "$([ "$row" = --hang ] && echo 5000 || echo 2000)"
    QUAVEL_SIGNIN_SECONDS=600 start_finch
    renice -n 10 -p "$(cat "$work/prosody.pid")" >/dev/null
    coproc WAVE { nice -n 10 "$python" "$here/purple_wave.py" 1 300 "$QUAVEL_PORT" 2>"$work/wave.err"; }
    read -r -t 600 _ <&"${WAVE[0]}"
    for i in $(seq 1 300); do
        buddy=$(purple PurpleFindBuddy "int32:$account" "string:peer$i@localhost" | awk '{print $2}')
        for _ in $(seq 1 600); do [ "$(purple PurpleBuddyIsOnline "int32:$buddy" | awk '{print $2}')" = 1 ] && break; sleep 0.1; done
    done
    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 QUAVEL_BENCH_DONE_FILE="$work/done" QUAVEL_BENCH_LOG_FILE="$work/log.txt" \
        QUAVEL_BENCH_CALL_TIMEOUT_MS=5000 QUAVEL_BENCH_UNTIL="Changed Status To: Away" QUAVEL_BENCH_UNTIL_COUNT=300 \
        "$build/bench/purple-flood-bench" > "$work/bench.out" 2>"$work/bench.err" &
    bench=$!
    for _ in $(seq 1 1200); do grep -q '^shown' "$work/bench.out" && break; sleep 0.05; done
    sleep 0.2
    if [ "$row" = --first-reading ]; then
        printf 'show away 1 200\nshow dnd 1 200\noff 201 250\n' >&"${WAVE[1]}"
        sleep 5
        printf 'show away 251 300\nshow dnd 251 300\n' >&"${WAVE[1]}"
        # Done once Finch has the control wave's last change.
        buddy=$(purple PurpleFindBuddy "int32:$account" string:peer300@localhost | awk '{print $2}')
        for _ in $(seq 1 600); do
            status=$(purple PurplePresenceGetActiveStatus "int32:$(purple PurpleBuddyGetPresence "int32:$buddy" | awk '{print $2}')" | awk '{print $2}')
            [ "$(purple PurpleStatusGetId "int32:$status" | awk '{print $1}')" = dnd ] && break
            sleep 0.1
        done
    else
        kill -STOP "$(finch_pid)"
        printf 'show away 1 300\n' >&"${WAVE[1]}"
        for _ in $(seq 1 600); do grep -q 'has not answered' "$work/bench.err" && break; sleep 0.1; done
        resumed=$(date +%s%3N)
        kill -CONT "$(finch_pid)"
        for _ in $(seq 1 1200); do grep -q '^reached' "$work/bench.out" && break; sleep 0.1; done
    fi
    touch "$work/done"
    wait "$bench"
    cat "$work/bench.out"
    if [ "$row" = --hang ]; then
        echo "5000 buddies, client stopped until a call timed out: all 300 logged Away $(($(awk '/^reached/ {print $2}' "$work/bench.out") - resumed)) ms after it went on ($(grep -c 'has not answered' "$work/bench.err" || true) hang reported)"
    else
        tr -d '\r' < "$work/log.txt" | sed -E 's/^\[[^]]*\] //' | awk -F'> Changed Status To: ' '/^<peer[0-9]+@localhost>/ {
                i = substr($1, 6) + 0; seen[i] = seen[i] "," $2 }
            END { for (i = 1; i <= 300; i++) {
                    if (i <= 200) wave += (seen[i] == ",Away,Busy") * 2 + (seen[i] == ",Busy")
                    else if (i <= 250) off += (seen[i] == ",Appear Offline")
                    else control += (seen[i] == ",Away,Busy") * 2 + (seen[i] == ",Busy")
                    if (i <= 250 && seen[i] != ",Away,Busy" && seen[i] != ",Appear Offline" && shown++ < 5)
                        print "  peer" i ":" seen[i] }
                printf "2000 buddies, during the first reading: %d of 400 changes and %d of 50 sign-offs logged; control 5 s later: %d of 100\n", wave, off, control }'
    fi
    exit
fi

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
