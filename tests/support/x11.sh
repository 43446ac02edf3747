# What the X11 tests do to the program as a user would, inside a virtual
# display, and how they get there. Sourced. Each takes the main window from
# $window. Every wait is for something to happen, with a deadline.

source "$(dirname "${BASH_SOURCE[0]}")/wait.sh"

# Exits 77 (skipped), saying which, unless every named tool is installed.
need_tools() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}

# Outside a virtual display, runs the calling script again inside one, with
# the arguments $2..., in a work folder of its own that goes afterwards, for
# at most $1 seconds, and exits with its status. Inside, returns at once,
# any failing command fatal from there on, and named.
in_display() {
    [[ -z ${QUAVEL_IN_DISPLAY:-} ]] || { set -e; trap 'echo "failed: $BASH_COMMAND"' ERR; return; }
    local self
    self=$(realpath "$0")
    cd "$(mktemp -d)" && trap "rm -rf '$PWD'" EXIT
    QUAVEL_IN_DISPLAY=1 timeout "$1" xvfb-run -a -s "-screen 0 800x500x24 -dpi 96" "$self" "${@:2}"
    exit
}

# Starts the window manager; ready once it has said so on the root window.
start_wm() {
    openbox >/dev/null 2>&1 &
    wait_until 20 eval '[[ $(xprop -root _NET_SUPPORTING_WM_CHECK) == *"window id"* ]]'
}

# Prints the first visible window whose name matches the pattern $2, waiting
# up to $1 seconds. A window that goes while xdotool walks the tree (Wine
# makes and drops some) fails that search only: it searches again.
find_window() {
    local found
    wait_until "$1" visible_named "$2" && echo "$found"
}
visible_named() { found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1) && [[ -n $found ]]; }

# Waits until the main window's caption reads exactly $1.
wait_caption() {
    local pattern
    pattern=$(printf '%s' "$1" | sed 's/[()]/\\&/g')
    find_window 20 "^$pattern\$" >/dev/null || {
        echo "caption never read: $1 (it reads: $(xdotool getwindowname "$window"))"; return 1; }
}

# Whether the program (process $1) shows $2 windows or more: a menu is one.
shows_windows() { (($(xdotool search --onlyvisible --pid "$1" 2>/dev/null | grep -c '') >= $2)); }

# Opens File > Change Status with the mouse and picks the item at place $1
# (0 the first) with the keyboard, each key once its menu is up.
choose_status() {
    local pid shown
    pid=$(xdotool getwindowpid "$window")
    shown=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -c '')
    xdotool mousemove --window "$window" 15 10 click 1
    wait_until 20 shows_windows "$pid" $((shown + 1)) || { echo "the File menu never opened"; return 1; }
    xdotool key Down Right
    wait_until 20 shows_windows "$pid" $((shown + 2)) || { echo "Change Status never opened"; return 1; }
    for _ in $(seq 1 "$1"); do xdotool key Down; done
    xdotool key Return
}

# Runs the keys $@ that copy into the clipboard, and waits until they have.
# xclip takes the clipboard in a child it forks, so the marker may reach the
# X server after xclip returns: it is read back first, or a late marker
# could override the copy, or an earlier copy be read for this one.
copy_with() {
    printf 'not copied yet' | xclip -selection clipboard >/dev/null 2>&1
    wait_until 20 clipboard_is 'not copied yet'
    # A line logged between the keys empties the selection (the caret goes
    # to the end), and nothing is copied: the keys are pressed again.
    local deadline=$((SECONDS + 30)) pressed
    while ((SECONDS < deadline)); do
        xdotool key "$@"
        pressed=$SECONDS
        while ((SECONDS - pressed < 5)); do
            clipboard_is 'not copied yet' || return 0
            sleep 0.1
        done
    done
    echo "nothing was copied with: $*" >&2
    return 1
}
clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }

# Prints the whole log, copied through the clipboard with Ctrl+A, Ctrl+C.
# A failure report, a window of its own, is closed first.
read_log() {
    for report in $(xdotool search --name '^Quavel Logger$' 2>/dev/null); do
        xdotool windowclose "$report" 2>/dev/null || true
    done
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool mousemove --window "$window" 200 50 click 1
    copy_with ctrl+a ctrl+c
    xclip -o -selection clipboard
}

# Whether the log has a line grep's arguments $@ match. The log is read
# whole first: under pipefail, a grep that stops at its first match would
# fail the copy still writing into the pipe.
log_has() {
    local log
    log=$(read_log) && grep -q "$@" <<< "$log"
}
