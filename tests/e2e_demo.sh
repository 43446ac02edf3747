#!/usr/bin/env bash
# End to end: starts the built program on the demo client in a virtual X
# display, chooses File > Change Status > Away with the mouse and keyboard as
# a user does, and reads the caption and the log (copied to the clipboard),
# then selects part of a line from the keyboard and copies it.
#   e2e_demo.sh PROGRAM
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/support/x11.sh"
need_tools xvfb-run xdotool xclip openbox
in_display 60 "$program"
start_wm
# One hour between simulated events: only our command changes the log.
"$program" --demo --seed 1 --demo-interval 3600000 2>app.err &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
window=$(find_window 20 '^Sam \(Online\) - Quavel Logger$')
echo "window $window: $(xdotool getwindowname "$window")"
xdotool windowactivate --sync "$window" 2>/dev/null || true
choose_status 3  # Away
wait_caption "Sam (Away) - Quavel Logger"
echo "caption: $(xdotool getwindowname "$window")"
read_log > log.txt
echo "log:"; cat log.txt; echo
grep -Eq '^Quavel Wardel Loaded for Sam\.Rivers@example\.com on ' log.txt
grep -Eq '^\[[0-9]{1,2}:[0-9]{2}:[0-9]{2}[^]]*\] <sam\.rivers@example\.com> Status Changed To: Away$' log.txt
[ "$(wc -l < log.txt)" -eq 1 ]  # two lines, the last without a line break
# A line's first words selected from the keyboard and copied; the primary selection follows.
copy_with ctrl+Home ctrl+shift+Right ctrl+shift+Right shift+Left ctrl+c
echo "copied: $(xclip -o -selection clipboard), primary: $(xclip -o -selection primary)"
[ "$(xclip -o -selection clipboard)" = "Quavel Wardel" ]
[ "$(xclip -o -selection primary)" = "Quavel Wardel" ]
