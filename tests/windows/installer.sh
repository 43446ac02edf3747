#!/usr/bin/env bash
# The Windows installer end to end, under Wine in a fresh prefix and a
# virtual display: installed silently, per user, with the zip's very files,
# its shortcut and its entry in the list of installed programs; the
# installed program started on the demo client, keeping a log in the user's
# documents; the installer refused while the program runs, then upgrading
# in place; the uninstaller run as that list runs it, silently. Afterwards
# drive C: is as before, but for the user's log, and the entry is gone.
#   installer.sh QuavelLogger-<version>-win64-setup.exe (the zip beside it)
set -uo pipefail
setup=$(realpath "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/support/x11.sh"
source "$here/support/wine.sh"
need_tools xvfb-run xdotool openbox python3 "$wine"
in_display 240 "$setup"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuavelLogger'
value() { "$wine" reg query "$key" /v "$1" | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }
# Drive C:, but Windows's own and temporary files.
snapshot() { find "$WINEPREFIX/drive_c" -path '*/windows' -prune -o -path '*/Temp' -prune -o -print 2>/dev/null | sort; }
new_prefix "$PWD/prefix"
# Windows's folder for programs installed per user; it stays.
mkdir "$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local)/Programs"
(snapshot; echo "$WINEPREFIX/drive_c/users/Public/Documents/kept.log") | sort >expected.txt

"$wine" "$setup" /S
folder=$(value InstallLocation)
[[ $folder == 'C:\users\'*'\AppData\Local\Programs\Quavel Logger' ]]
dir=$("$wine" winepath -u "$folder")
python3 -m zipfile -e "${setup%-setup.exe}.zip" zip
diff -r -x Uninstall.exe zip/*/ "$dir"
grep -qaF "$folder\\Quavel Logger.exe" "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Quavel\ Logger.lnk
"$wine" reg query "$key"
start_wm
"$wine" "$dir/Quavel Logger.exe" --demo --log-file 'C:\users\Public\Documents\kept.log' & app=$!
window=$(find_window 90 '^Sam \(Online\) - Quavel Logger$')
! "$wine" "$setup" /S || { echo "installed over the running program"; exit 1; }
xdotool windowactivate --sync "$window" key alt+F4
wait "$app"
echo changed >"$dir/README.txt"
"$wine" "$setup" /S
diff -r -x Uninstall.exe zip/*/ "$dir"

[[ $(value QuietUninstallString) == "\"$folder\\Uninstall.exe\" /S" ]]
"$wine" "$folder\\Uninstall.exe" /S
# It returns at once, working on from a copy of itself.
wait_until 60 eval 'snapshot | cmp -s - expected.txt' || { snapshot | diff expected.txt -; exit 1; }
! "$wine" reg query "$key" >/dev/null 2>&1 || { echo "the entry stays"; exit 1; }
