# What the X11 tests do to the program as a user would; sourced inside a
# virtual display with a window manager. Each takes the main window from
# $window.

# Prints the first visible window whose name matches the pattern $2, waiting
# up to $1 seconds. A window that goes while xdotool walks the tree (Wine
# makes and drops some) fails that search only: it searches again.
find_window() {
    local found
    for _ in $(seq 1 $(($1 * 5))); do
        found=$(xdotool search --onlyvisible --name "$2" 2>/dev/null | head -n1) || true
        [[ -n $found ]] && { echo "$found"; return 0; }
        sleep 0.2
    done
    return 1
}

# Waits until the main window's caption reads exactly $1.
wait_caption() {
    local pattern
    pattern=$(printf '%s' "$1" | sed 's/[()]/\\&/g')
    find_window 10 "^$pattern\$" >/dev/null || {
        echo "caption never read: $1 (it reads: $(xdotool getwindowname "$window"))"; return 1; }
}

# Opens File > Change Status with the mouse and picks the item at place $1
# (0 the first) with the keyboard.
choose_status() {
    xdotool mousemove --window "$window" 15 10 click 1
    sleep 0.3
    xdotool key Down Right
    sleep 0.3
    for _ in $(seq 1 "$1"); do xdotool key Down; done
    xdotool key Return
}

# Prints the whole log, copied through the clipboard with Ctrl+A, Ctrl+C.
# A failure report, a window of its own, is closed first.
read_log() {
    for report in $(xdotool search --name '^Quavel Logger$' 2>/dev/null); do
        xdotool windowclose "$report" 2>/dev/null || true
    done
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool mousemove --window "$window" 200 50 click 1
    xdotool key ctrl+a ctrl+c
    sleep 0.3
    xclip -o -selection clipboard
}
