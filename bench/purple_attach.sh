#!/usr/bin/env bash
# Times attaching to Finch with a buddy list of each size given, on a private
# session bus (the account stays offline: no server is needed to read the list):
# the binding alone, and the real program from start to its window on screen.
#   bench/purple_attach.sh BUILD_DIR [BUDDIES...]     default sizes: 10 100 1000
set -euo pipefail
build=$1
shift
sizes=("${@:-10 100 1000}")
[ "$#" -eq 0 ] && sizes=(10 100 1000)
for tool in finch tmux dbus-daemon; do command -v "$tool" >/dev/null || { echo "needs $tool"; exit 1; }; done

for size in "${sizes[@]}"; do
    work=$(mktemp -d)
    mkdir -p "$work/finch"
    cat > "$work/finch/accounts.xml" <<XML
<?xml version='1.0' encoding='UTF-8' ?>
<account version='1.0'><account>
  <protocol>prpl-jabber</protocol><name>alice@localhost/finch</name><password>x</password>
  <settings><setting name='connect_server' type='string'>127.0.0.1</setting>
    <setting name='port' type='int'>1</setting></settings>
  <settings ui='gnt-purple'><setting name='auto-login' type='bool'>1</setting></settings>
</account></account>
XML
    {
        echo "<?xml version='1.0' encoding='UTF-8' ?><purple version='1.0'><blist><group name='Friends'>"
        for i in $(seq 1 "$size"); do
            echo "<contact><buddy account='alice@localhost/finch' proto='prpl-jabber'><name>buddy$i@localhost</name><alias>Buddy $i</alias></buddy></contact>"
        done
        echo "</group></blist></purple>"
    } > "$work/finch/blist.xml"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
    dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --print-pid > "$work/dbus.pid" 2>/dev/null &
    tmux -L "attach-bench-$$" new-session -d -x 120 -y 40 "finch -c $work/finch"
    for _ in $(seq 1 100); do
        dbus-send --session --print-reply --dest=im.pidgin.purple.PurpleService /im/pidgin/purple/PurpleObject \
            im.pidgin.purple.PurpleInterface.PurpleAccountsGetAllActive >/dev/null 2>&1 && break
        sleep 0.1
    done
    printf '%6d buddies: ' "$size"
    "$build/bench/purple-attach-bench" 5 | tr -d '\n'
    shown=()
    for _ in 1 2 3 4 5; do
        shown+=("$(QT_QPA_PLATFORM=offscreen QUAVEL_BENCH_SHOWN_ONLY=1 "$build/bench/purple-flood-bench" 2>/dev/null |
            awk '/^shown/ {print $2}')")
    done
    printf '; window shown: median %s ms\n' "$(printf '%s\n' "${shown[@]}" | sort -n | sed -n 3p)"
    tmux -L "attach-bench-$$" kill-server
    kill "$(cat "$work/dbus.pid")"
    rm -rf "$work"
done
