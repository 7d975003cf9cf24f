#!/usr/bin/env bash
# Drives the real program on a virtual X display of its own, as a person would: typing into the
# fields, clicking the buttons where the design puts them, Tab and Space, the information window,
# and closing the windows in both orders. What the program shows is read from screenshots (the
# indicators) and from the clipboard (the fields). The program runs as an unprivileged user with
# no way to gain privileges, so that it can only have the simulated port; it is not started at
# all where that user could open a port device.
#
# Usage: velmora_e2e.sh --program <velmora> --close-window <e2e_close_window> --info-file <file>
# Needs Xvfb, xauth, xdotool, xclip and ImageMagick; no window manager.
# Exits 0 when every check passed, 1 when one failed, 77 when it cannot run here safely.
set -uo pipefail

program='' close_window='' info_file=''
while [ $# -gt 0 ]; do
    case $1 in
    --program) program=$(realpath "$2") ;;
    --close-window) close_window=$(realpath "$2") ;;
    --info-file) info_file=$(realpath "$2") ;;
    *) echo "Usage: $0 --program <velmora> --close-window <tool> --info-file <file>" >&2; exit 2 ;;
    esac
    shift 2
done
[ -x "$program" ] && [ -x "$close_window" ] && [ -r "$info_file" ] || {
    echo "e2e: the program, the close tool or the information file is missing" >&2; exit 2; }
for tool in Xvfb xauth xdotool xclip import convert setpriv; do
    command -v "$tool" >/dev/null ||
        { echo "e2e: $tool is not installed (tools/install-deps.sh)" >&2; exit 2; }
done

# Bounded waits, in tenths of a second: for a window to appear or go, for a repaint to show.
# Generous, since the sanitized build starts slowly; a wait ends as soon as its condition holds.
WAIT=${VELMORA_E2E_WAIT:-300}
SETTLE=${VELMORA_E2E_SETTLE:-100}

passed=0 failed=0 pid='' xvfb='' home=''
tmp=$(mktemp -d /tmp/velmora-e2e.XXXXXX)
chmod 755 "$tmp"

# The unprivileged user: nobody when we are root, through sudo when it needs no password, else
# the user running the test. no_new_privs keeps file capabilities (the port helper's) from
# applying to anything it starts.
if [ "$(id -u)" -eq 0 ]; then
    run=(setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs)
elif sudo -n true 2>/dev/null; then
    run=(sudo -n setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs)
else
    run=(setpriv --no-new-privs)
fi

cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    [ -n "$home" ] && "${run[@]}" rm -rf "$home"
    rm -rf "$tmp"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP

pass() {
    passed=$((passed + 1))
    echo "ok      $1"
}

fail() {
    failed=$((failed + 1))
    echo "FAILED  $1"
}

finish() {
    if [ "$failed" -gt 0 ] && [ -s "$tmp/program.log" ]; then
        echo "--- the program's output:"
        tail -n 40 "$tmp/program.log"
    fi
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
    exit
}

# A check that the rest cannot do without.
require() {
    if [ "$2" = "$3" ]; then
        pass "$1"
    else
        fail "$1: expected '$2', got '$3'"
        finish
    fi
}

check() {
    if [ "$2" = "$3" ]; then
        pass "$1"
    else
        fail "$1: expected '$2', got '$3'"
    fi
}

yes_no() {
    if "$@" >/dev/null; then echo yes; else echo no; fi
}

# Runs a command every tenth of a second until it succeeds, at most $1 tenths.
poll() {
    local tenths=$1 i
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

# --- The display and the program --------------------------------------------------------------

"${run[@]}" sh -c 'test "$(id -u)" -ne 0' ||
    { echo "e2e: would run the program as root; not started"; exit 77; }
# shellcheck disable=SC2016
reachable=$("${run[@]}" sh -c 'for f in /dev/port /dev/parport*; do
    [ -e "$f" ] && { [ -r "$f" ] || [ -w "$f" ]; } && echo "$f"; done' || true)
if [ -n "$reachable" ]; then
    echo "e2e: the test user could open $reachable, a real port; not started"
    exit 77
fi
# The build tree may lie where the unprivileged user cannot go (a CI checkout in root's home):
# the program runs from a copy in the test's own folder, with its help text beside it, as installed.
mkdir -p "$tmp/app"
cp "$program" "$tmp/app/velmora"
cp "$info_file" "$tmp/app/VelmoraInfo.txt"
chmod -R a+rX "$tmp/app"
program=$tmp/app/velmora
"${run[@]}" test -x "$program" -a -r "$(dirname "$program")/VelmoraInfo.txt" || {
    echo "e2e: $("${run[@]}" id -un) cannot run $program or read the file beside it" >&2; exit 2; }

cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
export XAUTHORITY=$tmp/Xauthority
xauth -q -f "$XAUTHORITY" add :0 . "$cookie" 2>/dev/null
# Xvfb picks a free display itself and names it once it accepts connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -auth "$XAUTHORITY" 3>"$tmp/display" \
    >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
poll "$WAIT" test -s "$tmp/display" ||
    { cat "$tmp/xvfb.log"; echo "e2e: Xvfb did not start"; exit 1; }
DISPLAY=:$(head -n 1 "$tmp/display")
export DISPLAY
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"
chmod 644 "$XAUTHORITY"

home=$("${run[@]}" mktemp -d /tmp/velmora-e2e-home.XXXXXX)
locale=C.UTF-8
locale -a 2>/dev/null | grep -qix 'es_ES.utf-\?8' && locale=es_ES.UTF-8
(
    cd "$(dirname "$program")" &&
        exec "${run[@]}" env -i DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" HOME="$home" \
            XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=xcb LANG="$locale" \
            ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
            ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
            "$program"
) >"$tmp/program.log" 2>&1 &
pid=$!

running() { kill -0 "$pid" 2>/dev/null; }

# After every action: the program must still be there.
still_running() {
    if running; then
        pass "still running after: $1"
    else
        wait "$pid"
        fail "the program ended after: $1 (exit status $?)"
        pid=
        finish
    fi
}

# --- Windows ---------------------------------------------------------------------------------

# Window sizes in pixels: the design's client areas in twips, 15 twips a pixel.
MAIN_SIZE=296x326
INFO_TITLE='Información del pto paralelo'

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
geometry() { xdotool getwindowgeometry "$1" 2>/dev/null | sed -n 's/^ *Geometry: //p'; }

main_window() {
    local w
    for w in $(visible '^Velmora$'); do
        [ "$(geometry "$w")" = "$MAIN_SIZE" ] && echo "$w"
    done
}

# Message boxes of the program: every other window titled Velmora.
dialogs() {
    local w
    for w in $(visible '^Velmora$'); do
        [ "$w" != "${main:-}" ] && echo "$w"
    done
}

info_window() { visible "^$INFO_TITLE\$"; }
count() { "$@" | grep -c . ; }
has_windows() { [ "$(count "$2")" -ge "$1" ]; }
has_no_window() { [ "$(count "$1")" -eq 0 ]; }

# Without a window manager nothing moves the focus between windows: do what its click would.
focus() {
    xdotool windowfocus "$1" 2>/dev/null
    poll "$SETTLE" sh -c '[ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]' - "$1"
}

# A click on the centre of a control, its design rectangle given in twips.
click() {
    local window=$1 left=$2 top=$3 width=$4 height=$5
    xdotool mousemove --window "$window" $(((left + width / 2) / 15)) $(((top + height / 2) / 15)) \
        click 1
}

# The controls of the main window: left, top, width, height in twips.
IN_HEX=(360 1080 1455 615)
OUT_HEX=(2400 1080 1575 615)
ADDRESS=(720 600 975 375)
VALUE=(2400 600 615 375)
IN_DEC=(360 1800 1455 615)
OUT_DEC=(2400 1800 1575 615)
PLUS=(4080 600 255 255)
MINUS=(4080 840 255 255)
INFO=(3720 4200 615 615)
TEXT_INFO=(120 240 6975 3495) # in the information window

# --- Reading what the program shows --------------------------------------------------------------

# The next text put into an X selection: a marker goes in first, so that an old text is never
# taken for the new one, and the wait ends when the program has replaced it.
MARKER=velmora-e2e-marker
arm_selection() {
    # xclip stays behind to serve the marker: it must not hold the caller's output open.
    printf '%s' "$MARKER" | xclip -selection "$1" -i >/dev/null 2>&1
    poll "$SETTLE" sh -c '[ "$(xclip -o -selection "$1" 2>/dev/null)" = "$2" ]' - "$1" "$MARKER"
}
read_selection() {
    poll "$SETTLE" sh -c '[ "$(xclip -o -selection "$1" 2>/dev/null)" != "$2" ]' - "$1" "$MARKER" ||
        { echo "(nothing copied)"; return 1; }
    xclip -o -selection "$1" 2>/dev/null
}

# The text of a field of the main window: click into it, select all and copy. The copy also
# shows that the program has handled every key and click before it.
field() {
    focus "$main"
    arm_selection clipboard
    click "$main" "$@"
    xdotool key ctrl+a ctrl+c
    read_selection clipboard
}

# The text of a message box, as a person would select it with the mouse: from its first line,
# right of the icon, down past its end. Where the text begins depends on the style, so a few
# starting points are tried, each a little further in.
box_text() {
    local box=$1 size width height start
    size=$(geometry "$box")
    width=${size%x*} height=${size#*x}
    for start in "66 16" "$((width / 2)) 16" "$((width / 2)) 24"; do
        arm_selection primary
        xdotool mousemove --window "$box" "${start% *}" "${start#* }" mousedown 1 \
            mousemove --window "$box" $((width - 2)) $((height - 2)) mouseup 1
        if poll 10 sh -c '[ "$(xclip -o -selection primary 2>/dev/null)" != "$1" ]' - \
            "$MARKER"; then
            xclip -o -selection primary 2>/dev/null
            return
        fi
    done
    echo "(no text could be selected)"
}

# A window's picture, formatted by ImageMagick: $2 names the pixels, as %[hex:p{x,y}].
screenshot() {
    import -window "$1" miff:- 2>/dev/null |
        convert miff:- -depth 8 -format "$2" info:- 2>/dev/null
}

# The sixteen indicators as bit texts, "value port", bit 0 first: 1 red, 0 black, ? anything
# else. Indicator i of a row is an 11 x 13 pixel box at (1080 + 360 i) / 15.
indicators() {
    local format='' row i
    for row in 2760 3360; do
        for ((i = 0; i < 8; i++)); do
            format+="%[hex:p{$(((1080 + 360 * i) / 15 + 5)),$((row / 15 + 6))}] "
        done
    done
    screenshot "$main" "$format" |
        awk '{ for (i = 1; i <= 16; i++) { c = $i == "FF0000" ? "1" : $i == "000000" ? "0" : "?";
                   printf "%s%s", c, i == 8 ? " " : "" } }'
}

# Waits, bounded, for the indicators to show the expected bits, since a repaint follows the
# action; gives what they show.
wait_indicators() {
    local expected=$1 got t
    for ((t = 0; t < SETTLE; t++)); do
        got=$(indicators)
        [ "$got" = "$expected" ] && break
        sleep 0.1
    done
    echo "$got"
}

check_indicators() {
    check "$1" "$2" "$(wait_indicators "$2")"
}

# One pixel of a window, as RRGGBB, waited for as the indicators are.
pixel() {
    screenshot "$1" "%[hex:p{$2,$3}]"
}

wait_pixel() {
    local window=$1 x=$2 y=$3 expected=$4 got t
    for ((t = 0; t < SETTLE; t++)); do
        got=$(pixel "$window" "$x" "$y")
        [ "$got" = "$expected" ] && break
        sleep 0.1
    done
    echo "$got"
}

# Types into a field of the main window, replacing its text, one key at a time.
type_into() {
    local text=$1
    shift
    focus "$main"
    click "$main" "$@"
    xdotool key ctrl+a
    xdotool type --delay 40 "$text"
}

# One message box from the last action: exactly one, titled Velmora; its text must contain $1.
# Return dismisses it.
one_box() {
    local what=$1 words=$2 boxes box
    poll "$WAIT" has_windows 1 dialogs
    boxes=$(dialogs)
    check "$what: one message box" 1 "$(echo "$boxes" | grep -c .)"
    box=$(echo "$boxes" | head -n 1)
    [ -n "$box" ] || return
    check "$what: titled Velmora" Velmora "$(xdotool getwindowname "$box")"
    focus "$box"
    local text
    text=$(box_text "$box")
    if [[ $text == *"$words"* ]]; then
        pass "$what: the box says \"$words\""
    else
        fail "$what: the box does not say \"$words\": $text"
    fi
    focus "$box"
    xdotool key Return
    poll "$WAIT" has_no_window dialogs
    check "$what: Return dismisses it, and no other box follows" 0 "$(count dialogs)"
    still_running "$what"
}

# --- Start -----------------------------------------------------------------------------------

echo "e2e: $program as $("${run[@]}" id -un) on display $DISPLAY"

for ((t = 0; t < WAIT; t++)); do
    main=$(main_window)
    [ -n "$main" ] && has_windows 1 dialogs && break
    running || break
    sleep 0.1
done
still_running "start"
require "the main window appears, titled Velmora, $MAIN_SIZE pixels" yes "$(yes_no test -n "$main")"

# Whatever else the notice says, it must say that the port is the simulated one; if it does not,
# the program might be on a real port, and it is stopped at once.
start_box=$(dialogs | head -n 1)
require "a message box about the port appears at start" yes "$(yes_no test -n "$start_box")"
focus "$start_box"
notice=$(box_text "$start_box")
if [[ $notice != *"puerto paralelo simulado"* ]]; then
    fail "the start-up notice says the port is simulated: $notice"
    finish
fi
pass "the start-up notice says the port is simulated"
focus "$start_box"
xdotool key Return
poll "$WAIT" has_no_window dialogs
check "Return dismisses the start-up notice" 0 "$(count dialogs)"
still_running "dismissing the start-up notice"

# --- Start-up state --------------------------------------------------------------------------

focus "$main"
check_indicators "at start all value indicators are black, and so is port 888" "00000000 00000000"
check "at start the address field holds 888" 888 "$(field "${ADDRESS[@]}")"
check "at start the value field holds 0" 0 "$(field "${VALUE[@]}")"
still_running "reading the fields"

# --- Tab and Space: "in Hex" on 888 reads port 2184, a floating bus --------------------------

# The focus is in the value field; back over the address field and "out HEX" to "in Hex".
xdotool key shift+Tab shift+Tab shift+Tab space
still_running "shift+Tab three times and Space"
check_indicators "Space on \"in Hex\" (888): the value 255 of port 2184, port 888 still 0" \
    "11111111 00000000"
check "the value field holds the reading with its leading blank" " 255" "$(field "${VALUE[@]}")"

# --- Address 378, value typed key by key, "out HEX" ------------------------------------------

type_into 378 "${ADDRESS[@]}"
xdotool key Tab
xdotool type --delay 40 5
still_running "typing 378, Tab, 5"
check_indicators "value 5 typed after Tab: indicators 0 and 2" "10100000 00000000"
xdotool key ctrl+a
xdotool type --delay 40 255
still_running "typing 255"
check_indicators "value 255: eight red value indicators, the port not written yet" \
    "11111111 00000000"
click "$main" "${OUT_HEX[@]}"
still_running "\"out HEX\""
check_indicators "\"out HEX\" on 378 with 255: eight red port indicators too" "11111111 11111111"
check "the value field keeps what was typed" 255 "$(field "${VALUE[@]}")"

# --- "+" and "-" -------------------------------------------------------------------------------

click "$main" "${PLUS[@]}"
still_running "\"+\""
check_indicators "\"+\" on 255 gives 256: the value indicators go black" "00000000 11111111"
check "\"+\" writes a leading blank" " 256" "$(field "${VALUE[@]}")"
click "$main" "${MINUS[@]}"
still_running "\"-\""
check_indicators "\"-\" on 256 gives 255" "11111111 11111111"
check "\"-\" writes no blank" 255 "$(field "${VALUE[@]}")"
type_into 2.5 "${VALUE[@]}"
click "$main" "${PLUS[@]}"
still_running "2.5 and \"+\""
check_indicators "\"+\" on 2.5 gives 3.5, shown as 4" "00100000 11111111"
check "\"+\" keeps the fraction" " 3.5" "$(field "${VALUE[@]}")"

# --- "out DEC", then the reads on 888 and 889 --------------------------------------------------

type_into 888 "${ADDRESS[@]}"
type_into 5 "${VALUE[@]}"
click "$main" "${OUT_DEC[@]}"
still_running "\"out DEC\""
check_indicators "\"out DEC\" on 888 with 5: port 888 reads 5" "10100000 10100000"
click "$main" "${IN_HEX[@]}"
still_running "\"in Hex\""
check_indicators "\"in Hex\" on 888 reads port 2184 (255); the port row still shows port 888" \
    "11111111 10100000"
check "\"in Hex\" writes the reading" " 255" "$(field "${VALUE[@]}")"
click "$main" "${IN_DEC[@]}"
still_running "\"in Dec\""
check_indicators "\"in Dec\" on 888 reads port 888" "10100000 10100000"
check "\"in Dec\" writes the reading" " 5" "$(field "${VALUE[@]}")"
type_into 889 "${ADDRESS[@]}"
click "$main" "${IN_DEC[@]}"
still_running "\"in Dec\" on 889"
check_indicators "\"in Dec\" on 889 reads the idle status 120" "00011110 10100000"
check "the status reading in the value field" " 120" "$(field "${VALUE[@]}")"

# --- Wrong input -----------------------------------------------------------------------------

# A value beyond 32 bits, one key at a time: each key refreshes the display, and the key that
# takes the number out of range must neither end the program nor open a box.
focus "$main"
click "$main" "${VALUE[@]}"
xdotool key ctrl+a
ended_at=
for ((k = 1; k <= 11; k++)); do
    xdotool type 9
    if ! running; then
        ended_at=$k
        break
    fi
done
check "typing 99999999999 key by key leaves the program running" "" "$ended_at"
still_running "typing a value beyond 32 bits"
check "the value field holds every key typed" 99999999999 "$(field "${VALUE[@]}")"
check "no message box opened while typing" 0 "$(count dialogs)"
check_indicators "the indicators keep the last value that fitted (999999999, low byte FF)" \
    "11111111 10100000"
# At 378, port 888: a value wrapped to 16 bits would show in the port row.
type_into 378 "${ADDRESS[@]}"
type_into 99999 "${VALUE[@]}"
click "$main" "${OUT_HEX[@]}"
one_box "\"out HEX\" on 378 with the value 99999, beyond 16 bits" 99999
check_indicators "port 888 was not written" "11111001 10100000"

type_into 7 "${VALUE[@]}"
type_into 70000 "${ADDRESS[@]}"
click "$main" "${IN_DEC[@]}"
one_box "\"in Dec\" on the address 70000, beyond 16 bits" 70000
check "no port was read: the value field keeps 7" 7 "$(field "${VALUE[@]}")"
check_indicators "and the display is the one of 7" "11100000 10100000"
check "no box is left open" 0 "$(count dialogs)"

# --- The information window ------------------------------------------------------------------

# A point of the information text box inside its frame, in the margin that no text covers:
# white while the window is active, greyed while the main window is.
SHADE_X=11 SHADE_Y=19

open_info() {
    focus "$main"
    click "$main" "${INFO[@]}"
    poll "$WAIT" has_windows 1 info_window
    info=$(info_window | head -n 1)
    check "$1: the information window opens" yes "$(yes_no test -n "$info")"
    still_running "$1"
}

# As the close button of a window manager's title bar would.
close_politely() {
    "$close_window" "$1"
}

open_info "the question-mark button"
if [ -n "$info" ]; then
    focus "$info"
    arm_selection clipboard
    click "$info" "${TEXT_INFO[@]}"
    xdotool key ctrl+a ctrl+c
    shown=$(read_selection clipboard; echo .)
    expected=$(tr -d '\r' <"$info_file"; echo .)
    if [ "$shown" = "$expected" ]; then
        pass "it shows the information file, line for line"
    else
        fail "it does not show the information file: $(diff <(echo "$expected") <(echo "$shown") |
            head -n 5)"
    fi
    check "its text is enabled while it is active" FFFFFF \
        "$(wait_pixel "$info" $SHADE_X $SHADE_Y FFFFFF)"
    focus "$main"
    got=$(wait_pixel "$info" $SHADE_X $SHADE_Y EFEFEF)
    check "its text greys out while the main window is active" "a colour, not FFFFFF" \
        "$([[ $got =~ ^[0-9A-F]{6}$ && $got != FFFFFF ]] && echo "a colour, not FFFFFF" ||
            echo "$got")"

    # Closed first, it leaves the main window and the program.
    close_politely "$info"
    poll "$WAIT" has_no_window info_window
    check "closing the information window closes it" 0 "$(count info_window)"
    still_running "closing the information window"
    check "the main window stays" "$main" "$(main_window)"
    check "and still answers" 7 "$(field "${VALUE[@]}")"
fi

open_info "the question-mark button, again"
if [ -n "$info" ]; then
    # Closed second, the main window leaves the information window and the program running.
    close_politely "$main"
    poll "$WAIT" has_no_window main_window
    check "closing the main window closes it" 0 "$(count main_window)"
    still_running "closing the main window first"
    check "the information window stays" "$info" "$(info_window)"
    focus "$info"
    arm_selection clipboard
    click "$info" "${TEXT_INFO[@]}"
    xdotool key ctrl+a ctrl+c
    check "and still answers" yes "$(yes_no read_selection clipboard)"
    still_running "using the information window alone"

    close_politely "$info"
    for ((t = 0; t < WAIT; t++)); do
        running || break
        sleep 0.1
    done
    if running; then
        fail "closing the last window ends the program"
    else
        wait "$pid"
        status=$?
        pid=
        pass "closing the last window ends the program"
        check "with exit status 0" 0 "$status"
    fi
fi

finish
