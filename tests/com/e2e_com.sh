#!/usr/bin/env bash
# End to end on Windows, under Wine in a virtual X display: in a fresh Wine
# prefix the stand-in client is registered as a local server; the program,
# started with no option, attaches to it, and COM starts it as a process of
# its own. The stand-in's events become log lines, a status chosen through
# the menu reaches it as a MyStatus write. When it quits, that is reported
# while the log stays; started again by hand, it is attached again and its
# events are logged, and the program never starts it itself.
#   e2e_com.sh PROGRAM.exe STANDIN.exe
set -uo pipefail
program=$(realpath "$1")
standin=$(realpath "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/support/x11.sh"
source "$here/support/wine.sh"
need_tools xvfb-run xdotool xclip openbox "$wine"
in_display 200 "$program" "$standin"

# Waits until the stand-in's journal has the line $1.
wait_journal() {
    wait_until 30 grep -sqxF "$1" "$journal" || { echo "the stand-in never wrote: $1"; cat "$journal"; return 1; }
}

new_prefix "$PWD/prefix"
folder=$WINEPREFIX/drive_c/standin
mkdir -p "$folder"
cp "$standin" "$folder/standin_server.exe"
commands=$folder/standin.commands journal=$folder/standin.journal
"$wine" 'C:\standin\standin_server.exe' /RegServer >register.txt 2>&1
grep -q '^registered' register.txt
start_wm
"$wine" "$program" >app.out 2>app.err &
window=$(find_window 90 '^Alice \(Online\) - Quavel Logger$')
echo "window $window: $(xdotool getwindowname "$window")"
wait_journal serving
printf '%s\n' "contact-status bob@example.com 10" "contact-name carol@example.com Caroline ÖZ" \
    window-opened >>"$commands"
wait_journal "command window-opened"
wait_until 30 log_has "<carol@example.com> Opened Window"
xdotool windowactivate --sync "$window" 2>/dev/null || true
choose_status 1  # Busy
wait_caption "Alice (Busy) - Quavel Logger"
wait_journal "MyStatus 10"
echo quit >>"$commands"
wait_journal quit
report=$(find_window 30 '^Quavel Logger$')
echo "reported: $(tr -d '\r' <app.err)"
wait_caption "Alice (Appear Offline) - Quavel Logger"
xdotool windowactivate --sync "$report" key Escape 2>/dev/null || true
wait_until 20 eval '! xdotool search --onlyvisible --name "^Quavel Logger$" > /dev/null'
# The stand-in's own process (its Windows path), not this script's arguments.
wait_until 30 eval "! pgrep -f 'C:.standin.standin_server' > /dev/null"
# A diagnosis while the client is away: it does not start the client, and
# meanwhile (longer than the program's check interval) neither does the
# program.
"$wine" "$program" --diagnose --diagnose-seconds 6 >away.txt 2>&1
grep -q "^Attach: not tried" away.txt
[ "$(grep -c '^started by COM$' "$journal")" -eq 1 ]
"$wine" 'C:\standin\standin_server.exe' >/dev/null 2>&1 &
wait_caption "Alice (Online) - Quavel Logger" || { cat "$journal"; exit 1; }
echo "contact-status carol@example.com 10" >>"$commands"
wait_until 30 log_has "<carol@example.com> Changed Status To: Busy"
# A diagnosis beside the attached program, names hidden.
"$wine" "$program" --diagnose --diagnose-seconds 5 >report.txt 2>&1 &
diagnosis=$!
wait_journal "subscribers 2"
echo "contact-name bob@example.com Bobby" >>"$commands"
wait "$diagnosis"
tr -d '\r' <report.txt >report
echo "report:"; cat report
grep -q "^+[0-9.]* s  id 1028 OnContactFriendlyNameChange, 3 arguments: VT_I4 0, VT_DISPATCH, VT_BSTR <text 1>" report
grep -q "^    Contacts: id 9057; documented id 2057" report
if grep -Eiq "alice|bob|carol" report; then echo "names in the report"; exit 1; fi
read_log | tr -d '\r' >log.txt
echo "log:"; cat log.txt; echo
time='\[[0-9]{1,2}:[0-9]{2}:[0-9]{2}[^]]*\]'
grep -Eq '^Quavel Wardel Loaded for alice@example\.com on ' log.txt
grep -Eq "^$time <bob@example\.com> Changed Status To: Busy\$" log.txt
grep -Eq "^$time <carol@example\.com> Changed Name To: Caroline Öz\$" log.txt
grep -Eq "^$time <bob@example\.com> Opened Window\$" log.txt
grep -Eq "^$time <carol@example\.com> Opened Window\$" log.txt
grep -Eq "^$time <alice@example\.com> Status Changed To: Busy\$" log.txt
grep -Eq "^$time <alice@example\.com> Status Changed To: Appear Offline\$" log.txt
grep -Eq "^$time <alice@example\.com> Status Changed To: Online\$" log.txt
[ "$(wc -l <log.txt)" -eq 9 ]  # ten lines (the last, the diagnosis's name change), no final break
grep -q 'Quavel Logger: ' app.err
