#!/usr/bin/env bash
# The program against a real libpurple client: Prosody on loopback, Finch
# signed in as alice on a private session bus, a scripted XMPP peer (bob),
# and Quavel Logger itself in a virtual display, driven through its menus;
# carol hosts a group chat that alice joins and leaves.
# Checks its log and caption line by line.
# Then a crowd of peers floods the client with back-to-back changes while
# the client is stopped for a few seconds: every change is logged once, in
# order, and the window answers meanwhile. Then Finch restarts with a
# changed roster, and last the followed account is deleted with a second
# one signed in: the program follows that one and logs its contacts.
#   real_peer.sh PROGRAM
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/x11.sh"
need_tools prosody finch tmux dbus-daemon dbus-send xvfb-run xdotool xclip openbox
source "$here/world.sh"
"$python" -c "import slixmpp" 2>/dev/null || { echo "SKIP: python3-slixmpp is not installed"; exit 77; }
export QUAVEL_CROWD=${QUAVEL_CROWD:-100}
if [[ "${2:-}" != "--inside-display" ]]; then
    work=$(mktemp -d)
    export QUAVEL_WORK=$work
    trap world_stop EXIT
    world_start "$work" "$QUAVEL_CROWD"
    timeout 200 xvfb-run -a -s "-screen 0 800x500x24 -dpi 96" "$0" "$program" --inside-display
    exit
fi

# Inside the display from here.
set -e
trap 'echo "failed: $BASH_COMMAND"' ERR
work=$QUAVEL_WORK
world=$work
crowd=$QUAVEL_CROWD
# The log without its time stamps.
read_log_lines() {
    read_log | sed -E 's/^\[[^]]*\] //'
}
# Whether the log's last line is $1.
last_line() { [ "$(read_log_lines | tail -n1)" = "$1" ]; }

start_wm
start_finch
LANG=en_US.UTF-8 "$program" 2> "$work/program.err" &
echo $! > "$work/program.pid"
window=$(find_window 60 '^Alice A \(Online\) - Quavel Logger$')

# bob: statuses by show and message, a nickname, a message (a conversation).
"$python" "$here/bob.py" bob@localhost bobpw "$QUAVEL_PORT" away "dnd:On The Phone" xa "away:Be Right Back" \
    "away:Out To Lunch" "dnd:in a meeting" back "nick:Bobby B" "say:hello alice" > "$work/bob.out" 2>&1

# alice closes bob's conversation, then joins carol's group chat and leaves it.
purple PurpleConversationDestroy \
    "int32:$(purple PurpleFindConversationWithAccount int32:1 string:bob@localhost "int32:$account" | awk '{print $2}')"
wait_until 60 last_line "<bob@localhost> Closed Window"
"$python" "$here/bob.py" carol@localhost carolpw "$QUAVEL_PORT" join:lounge@conference.localhost \
    "until:$work/carol.go" > "$work/carol.out" 2>&1 &
carol=$!
wait_until 60 grep -qx join:lounge@conference.localhost "$work/carol.out"
purple ServJoinChat "int32:$(purple PurpleAccountGetConnection "int32:$account" | awk '{print $2}')" \
    dict:string:string:room,lounge,server,conference.localhost,handle,alice
wait_until 60 last_line "<carol> Opened Window"
purple PurpleConversationDestroy "int32:$(purple PurpleGetChats | awk '/int32/ {print $2; exit}')"
wait_until 60 last_line "<carol> Closed Window"
touch "$work/carol.go"
wait "$carol"

# alice: the seven commands, answered by the client (Offline: XMPP cannot
# appear offline, which the program says instead of signing off).
for item in "1 Busy" "2 Be Right Back" "3 Away" "4 On The Phone" "5 Out To Lunch" "0 Online"; do
    choose_status "${item%% *}"
    wait_caption "Alice A (${item#* }) - Quavel Logger"
done
choose_status 6
wait_until 60 grep -q 'Error 0x80040306' "$work/program.err"
# libpurple writes the chosen status to disk a few seconds after a change;
# the client comes back with the status it saved: Online, no message.
saved_online() {
    "$python" -c 'import sys, xml.etree.ElementTree as t; d = sys.argv[1]
p = t.parse(d + "/prefs.xml").find(".//pref[@name=\"savedstatus\"]/pref[@name=\"default\"]").get("value")
s = t.parse(d + "/status.xml").find(f".//status[@created=\"{p}\"]")
sys.exit(s.findtext("state") != "available" or bool(s.findtext("message")))' "$world/finch" 2>/dev/null
}
wait_until 60 saved_online

# The client quits and comes back.
stop_finch
wait_until 60 eval '! finch_pid > /dev/null'
wait_until 60 last_line "<alice@localhost> Status Changed To: Appear Offline"
start_finch
# Attached again: the client's status is logged and shown anew.
wait_until 60 last_line "<alice@localhost> Status Changed To: Online"

# The crowd: the client is stopped while their changes pour in, and the
# window must answer meanwhile (copying the log needs the program to answer).
"$python" "$here/crowd.py" "$QUAVEL_CROWD" "$QUAVEL_PORT" "$work/crowd.stop" > "$work/crowd.out" 2>&1 &
crowd_pid=$!
finch_pid=$(finch_pid)
# Stopped once the program is in the midst of the flood.
wait_until 60 log_has '] <peer' || { cat "$work/crowd.out" "$work/program.err"; xdotool search --name . getwindowname %@ 2>/dev/null | sort | uniq -c; exit 1; }
kill -STOP "$finch_pid"
# The signal is taken when the client next runs, not at once.
wait_until 20 eval '[[ $(ps -o stat= -p "$finch_pid") == T* ]]'
answered=$(timeout 30 bash -c "source '$here/../support/x11.sh'; window=$window; read_log" | grep -c '' || true)
# Held stopped until the whole crowd has signed in and changed: their
# changes wait for the client, and pour in at once when it goes on.
wait_until 60 grep -q 'signed in' "$work/crowd.out"
kill -CONT "$finch_pid"
touch "$work/crowd.stop"
wait "$crowd_pid"
wait_until 60 eval '(($(read_log_lines | grep -c "^<peer.*Appear Offline$") >= QUAVEL_CROWD))'

read_log_lines > "$work/log.txt"
echo "log:"; grep -v '^<peer' "$work/log.txt"; echo; echo "errors:"; cat "$work/program.err"
head -n1 "$work/log.txt" | grep -q '^Quavel Wardel Loaded for alice@localhost on '
diff "$here/expected.log" <(tail -n +2 "$work/log.txt" | grep -v '^<peer')
grep -q 'Error 0x80040306 (-2147220730): This account.s service has no way to appear offline' "$work/program.err"
grep -q 'Error 0x80040302 (-2147220734): Your messenger client has quit' "$work/program.err"
echo "the window answered while the client was stopped: $answered lines copied"
[ "$answered" -gt 0 ]
# Each peer: signed on, busy, extended away, available, signed off; once each, in order.
wrong=0
for i in $(seq 1 "$QUAVEL_CROWD"); do
    seen=$(grep "^<peer$i@localhost> Changed Status To: " "$work/log.txt" | sed 's/.*To: //' | paste -sd, -)
    [ "$seen" = "Online,Busy,Away,Online,Appear Offline" ] || { echo "peer$i: $seen"; wrong=$((wrong + 1)); }
done
echo "crowd: $QUAVEL_CROWD peers, $(grep -c '^<peer' "$work/log.txt") lines, $wrong peers not as expected"
[ "$wrong" -eq 0 ]

# Lines logged from here on.
since() { read_log_lines | tail -n +$(($1 + 1)) | awk 1; }
logged_since() {
    local lines
    lines=$(since "$1") && grep -qx -- "$2" <<< "$lines"
}
wait_line() {
    wait_until 60 logged_since "$1" "$2" || { echo "never logged: $2"; since "$1"; return 1; }
}

# Finch restarts with another roster: meanwhile bob got a name on alice's
# server roster and went busy, and Finch's buddy list lost him, so the
# restarted Finch numbers its objects anew, and a peer signs on and goes
# busy. A name line depends on
# whether the program reads bob before Finch has his roster name, so only
# that any name line is bob's new one is checked.
lines=$(read_log_lines | grep -c '')
stop_finch
wait_until 60 eval '! finch_pid > /dev/null'
sed -i 's/\["bob@localhost"\] = {/&name = "Robert", /' "$world/data/localhost/roster/alice.dat"
"$python" -c 'import sys, xml.etree.ElementTree as t
d = t.parse(sys.argv[1])
for g in d.iter("group"):
    for c in g.findall("contact"):
        if c.find("buddy/name").text == "bob@localhost": g.remove(c)
d.write(sys.argv[1])' "$world/finch/blist.xml"
"$python" "$here/bob.py" bob@localhost bobpw "$QUAVEL_PORT" dnd "until:$work/bob.go" > "$work/bob2.out" 2>&1 &
bob=$!
wait_until 60 grep -qx dnd "$work/bob2.out"
start_finch
peer=peer1@localhost
wait_line "$lines" "<bob@localhost> Changed Status To: Busy"
"$python" "$here/bob.py" "$peer" pw "$QUAVEL_PORT" dnd > "$work/peer.out" 2>&1
touch "$work/bob.go"
wait "$bob"
wait_line "$lines" "<bob@localhost> Changed Status To: Appear Offline"
since "$lines" | tee "$work/restart.txt"
diff <(grep -v 'Changed Name To' "$work/restart.txt") - <<END
<alice@localhost> Status Changed To: Appear Offline
<alice@localhost> Status Changed To: Online
<bob@localhost> Changed Status To: Busy
<$peer> Changed Status To: Online
<$peer> Changed Status To: Busy
<$peer> Changed Status To: Appear Offline
<bob@localhost> Changed Status To: Appear Offline
END
[ -z "$(grep 'Changed Name To' "$work/restart.txt" | grep -vx '<bob@localhost> Changed Name To: Robert')" ]

# alice's account is deleted with dave's signed in: the program says so,
# follows dave, and logs carol, on his roster, and its own status command.
lines=$(read_log_lines | grep -c '')
dave=$(purple PurpleAccountsFind string:dave@localhost/finch string:prpl-jabber | awk '{print $2}')
purple PurpleAccountSetEnabled "int32:$dave" string:gnt-purple int32:1
wait_until 60 eval '[ "$(purple PurpleAccountIsConnected "int32:$dave" | awk "{print \$2}")" = 1 ]'
purple PurpleAccountsDelete "int32:$account"
wait_caption "Dave D (Online) - Quavel Logger"
"$python" "$here/bob.py" carol@localhost carolpw "$QUAVEL_PORT" away > "$work/carol2.out" 2>&1
wait_line "$lines" "<carol@localhost> Changed Status To: Appear Offline"
choose_status 3
wait_caption "Dave D (Away) - Quavel Logger"
wait_line "$lines" "<dave@localhost> Status Changed To: Away"
diff - <(since "$lines") <<END
<dave@localhost> Name Changed To: Dave D
<carol@localhost> Changed Status To: Online
<carol@localhost> Changed Status To: Away
<carol@localhost> Changed Status To: Appear Offline
<dave@localhost> Status Changed To: Away
END
grep -q 'Your account alice@localhost was removed .*now logs dave@localhost' "$work/program.err"

# The --diagnose report, names hidden, while carol changes status: dave's
# protocol and status types, her signal, and no one's name or address.
"$python" "$here/bob.py" carol@localhost carolpw "$QUAVEL_PORT" chat "until:$work/report.go" away > "$work/carol3.out" 2>&1 &
carol=$!
wait_until 60 grep -qx chat "$work/carol3.out"
"$program" --diagnose --diagnose-seconds 5 > "$work/report.txt" &
report=$!
wait_until 60 grep -q '^Signals for' "$work/report.txt"
touch "$work/report.go"
wait "$report"
wait "$carol"
cat "$work/report.txt"
grep -q '; protocol prpl-jabber; enabled; connected; status [a-z]*; 1 buddy; the one Quavel Logger would log$' "$work/report.txt"
grep -q 'status types (id "name" primitive): available "Available" 2, ' "$work/report.txt"
grep -q ' s  BuddyStatusChanged\*, 3 arguments (iii): [0-9, ]*; buddy <contact [0-9]*>$' "$work/report.txt"
[ -z "$(grep -iE 'alice|bob|carol|dave|localhost' "$work/report.txt")" ]
echo "real client: all lines as expected"
