# A private XMPP world for the real-client test and benchmark, sourced:
# Prosody on loopback with alice, bob, carol and a crowd of peers on alice's
# roster, and Finch signed in as alice on a session bus of its own. Finch
# also has dave, disabled until a test enables him; carol is on his roster.
#   world_start WORK CROWD    sets QUAVEL_PORT, DBUS_SESSION_BUS_ADDRESS
#   start_finch / stop_finch, purple METHOD ARGS..., world_stop
world_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python=/usr/bin/python3
source "$(dirname "${BASH_SOURCE[0]}")/../support/wait.sh"

world_start() {
    world=$1
    crowd=$2
    port=$("$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    export QUAVEL_PORT=$port
    mkdir -p "$world/data/localhost/accounts" "$world/data/localhost/roster" "$world/finch"
    sed -e "s#@WORK@#$world#g" -e "s#@PORT@#$port#g" "$world_here/prosody.cfg.lua.in" > "$world/prosody.cfg.lua"
    local who
    for who in alice bob carol dave; do
        printf 'return { ["password"] = "%spw" };\n' "$who" > "$world/data/localhost/accounts/$who.dat"
    done
    {
        printf 'return {\n ["bob@localhost"] = { subscription = "both", groups = { Friends = true } };\n'
        for i in $(seq 1 "$crowd"); do
            printf ' ["peer%d@localhost"] = { subscription = "both", groups = { Crowd = true } };\n' "$i"
        done
        printf '}\n'
    } > "$world/data/localhost/roster/alice.dat"
    for who in bob $(seq -f 'peer%g' 1 "$crowd"); do
        printf 'return { ["alice@localhost"] = { subscription = "both", groups = { Friends = true } } };\n' \
            > "$world/data/localhost/roster/$who.dat"
    done
    printf 'return { ["carol@localhost"] = { subscription = "both", groups = { Friends = true } } };\n' > "$world/data/localhost/roster/dave.dat"
    printf 'return { ["dave@localhost"] = { subscription = "both", groups = { Friends = true } } };\n' > "$world/data/localhost/roster/carol.dat"
    for i in $(seq 1 "$crowd"); do
        printf 'return { ["password"] = "pw" };\n' > "$world/data/localhost/accounts/peer$i.dat"
    done
    prosody --config "$world/prosody.cfg.lua" > "$world/prosody.out" 2>&1 &
    echo $! > "$world/prosody.pid"
    sed "s#@PORT@#$port#g" "$world_here/accounts.xml.in" > "$world/finch/accounts.xml"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$world/bus"
    dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --print-pid > "$world/dbus.pid" 2>/dev/null &
    export QUAVEL_TMUX="quavel-$$"
}

world_stop() {
    tmux -L "$QUAVEL_TMUX" kill-server 2>/dev/null
    for pidfile in "$world"/*.pid; do [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null; done
    rm -rf "$world"
}

purple() {
    dbus-send --session --print-reply=literal --dest=im.pidgin.purple.PurpleService \
        /im/pidgin/purple/PurpleObject "im.pidgin.purple.PurpleInterface.$1" "${@:2}" 2>/dev/null
}

# Whether Finch is signed in with bob and the crowd on its list.
finch_signed_in() {
    account=$(purple PurpleAccountsGetAllActive | awk '/int32/ {print $2; exit}' || true)
    [ -n "$account" ] && [ "$(purple PurpleAccountIsConnected "int32:$account" | awk '{print $2}')" = 1 ] &&
        [ "$(purple PurpleFindBuddy "int32:$account" string:bob@localhost | awk '{print $2}')" != 0 ] &&
        [ "$(purple PurpleFindBuddy "int32:$account" "string:peer$crowd@localhost" | awk '{print $2}')" != 0 ]
}

# Starts Finch; ready when alice is connected and bob and the last peer are
# on her list, waiting up to QUAVEL_SIGNIN_SECONDS (60). Sets $account.
start_finch() {
    # Under a shell of its own: tmux continues a pane's process that stops,
    # and kill -STOP must hold.
    tmux -L "$QUAVEL_TMUX" new-session -d -x 120 -y 40 "finch -c $world/finch; :"
    wait_until "${QUAVEL_SIGNIN_SECONDS:-60}" finch_signed_in && return 0
    echo "Finch did not sign in"; return 1
}

stop_finch() {
    tmux -L "$QUAVEL_TMUX" kill-server
}

finch_pid() {
    pgrep -f "^finch -c $world/finch"
}
