#!/usr/bin/env bash
# The real program on a virtual X display of its own, driven through the X server as a person
# would (e2e_window.sh): keys and clicks where the design puts the controls, what it shows read
# from a screenshot and the clipboard, and its windows closed in both orders with the message a
# window manager's close button sends. What a window does with an input is the widget suites'
# work; this checks that real input reaches it. The program runs as an unprivileged user with no
# way to gain privileges, so that it can only have the simulated port; it is not started at all
# where that user could open a port.
#
# Usage: velmora_e2e.sh <velmora> <e2e_close_window> <VelmoraInfo.txt>
# Needs Xvfb, xdotool, xclip and ImageMagick; no window manager.
# Exits 0 when every check passed, 1 when one failed, 77 when it cannot run here safely.
set -uo pipefail
source "$(dirname "$0")/e2e_window.sh"
[ $# -eq 3 ] || { echo "Usage: $0 <velmora> <e2e_close_window> <VelmoraInfo.txt>" >&2; exit 2; }
close_window=$(realpath "$2")
WAIT=300 SETTLE=100

# nobody when we are root, else the user running the test; no_new_privs keeps file capabilities
# (the port helper's) from applying to anything it starts.
run=(setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs)
[ "$(id -u)" -eq 0 ] || run=(setpriv --no-new-privs)
reachable=$("${run[@]}" find /dev/port /dev/parport* -maxdepth 0 -readable -o -writable 2>/dev/null)
[ -z "$reachable" ] || { echo "e2e: the test user could open $reachable; not started"; exit 77; }
# The build tree may lie where the unprivileged user cannot go (a CI checkout in root's home):
# the program runs from a copy in the test's own folder, with its help text beside it, and has
# a home of its own there.
mkdir -m 755 "$tmp/app" && mkdir -m 1777 "$tmp/home"
install -m 755 "$1" "$tmp/app/velmora" && install -m 644 "$3" "$tmp/app/VelmoraInfo.txt" || exit 2
start_xvfb
launch "$tmp/app" "${run[@]}" env -i DISPLAY="$DISPLAY" HOME="$tmp/home" QT_QPA_PLATFORM=xcb \
    LANG=C.UTF-8 $(env | grep -E '^(A|UB)SAN_OPTIONS=') ./velmora

# What the notice at start says is the widget suites' to check (and the port can only be the
# simulated one here); that it comes and goes with Return is checked here.
appears "start" || finish
notice "start"
write_five "keys and clicks"

# F2 opens the pin window; a click on pin 2 (at 8 64 in it, 20 pixels high) toggles D0, so the
# 5 written above becomes 4, which "in Hex" (360 1080 1455 615) reads back from 378h.
focus "$main" && xdotool key F2
await "F2 opens the pin window" pins "visible '^Pines del puerto\$'"
focus "$pins" && click "$pins" 60 74
click "$main" 72 92
check "a click on pin 2 in the pin window clears D0 of 378h" \
    test "$(copy_all "$main" "${VALUE[@]}" | tr -d ' ')" = 4
click "$main" "${VALUE[@]}" && xdotool key ctrl+a type 5 # as it was for what follows
"$close_window" "$pins"
check "closing the pin window closes it" poll "$WAIT" none visible '^Pines del puerto$'

# The question-mark button opens the information window; closed first, it leaves the main window
# as it was; closed last, it ends the program. The text box of the information window: 240 132.
open_info "the question-mark button opens the information window"
"$close_window" "$info"
check "closing the information window closes it" poll "$WAIT" none info_window
check "the main window stays, keeping its value" test "$(copy_all "$main" "${VALUE[@]}")" = 5
open_info "the question-mark button opens the information window again"
"$close_window" "$main"
check "closing the main window closes it" poll "$WAIT" none main_window
check "the information window stays and answers" test "$(copy_all "$info" 240 132)" != "$MARKER"
"$close_window" "$info"
check "closing the last window ends the program" poll "$WAIT" eval '! kill -0 "$pid" 2>/dev/null'
check "with exit status 0" eval '! kill -0 "$pid" 2>/dev/null && wait "$pid"'
finish
