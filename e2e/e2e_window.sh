# shellcheck shell=bash disable=SC2016,SC2034,SC2154
# The X side of the end-to-end scripts, sourced by velmora_e2e.sh (Linux), velmora_wine_e2e.sh
# (the installed Windows program under wine) and tools/package-test.sh: a folder of the test's
# own (tmp), the program started and stopped, the virtual display, the program's windows, keys and
# clicks where the design puts the controls, the clipboard, and the indicators read from a
# screenshot. There is no window manager: focus is given as its click would. The caller sets WAIT
# and SETTLE (bounded waits, in tenths of a second; a wait ends as soon as its condition holds).

failed=0 main='' pid='' xvfb=''
tmp=$(mktemp -d /tmp/velmora-e2e.XXXXXX)
chmod 755 "$tmp" # an unprivileged user runs the program from here
# The program runs in a session of its own, so that what it starts (wine's processes) goes with it.
launch() { # the folder to start in, then the command
    (cd "$1" && exec setsid "${@:2}") >"$tmp/program.log" 2>&1 &
    pid=$!
}
stop_program() { kill -- "-$pid" 2>/dev/null && wait "$pid"; }
trap 'stop_program; kill $xvfb 2>/dev/null && wait $xvfb; rm -rf "$tmp"' EXIT
trap "exit 1" INT TERM HUP # so that the EXIT trap cleans up
check() { # what, then a command that must succeed; what it says shows when it fails
    if ! "${@:2}" >"$tmp/check.log" 2>&1; then
        failed=$((failed + 1))
        echo "FAILED  $1: ${*:2}"
        tail -n 20 "$tmp/check.log"
        return 1
    fi
    echo "ok      $1"
}
finish() { # ends the script: 0 when every check passed
    [ "$failed" -eq 0 ] || { echo "--- the program's output:"; tail -n 30 "$tmp/program.log"; } 2>&1
    echo "$failed failed"
    exit $((failed > 0))
}
poll() { # at most $1 tenths of a second, until the command succeeds
    local i=0
    until "${@:2}"; do
        ((i++ < $1)) || return 1
        sleep 0.1
    done
}

# Xvfb picks a free display itself and names it once it accepts connections. Exports DISPLAY.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
    xvfb=$!
    poll "$WAIT" test -s "$tmp/display" || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n 1 "$tmp/display")"
}

# The main window by its title and its size in pixels (the design's client area in twips, 15
# twips a pixel), the message boxes by the same title, the information window by its own.
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
main_window() {
    visible '^Velmora$' | while read -r w; do
        xdotool getwindowgeometry "$w" | grep -q "Geometry: 296x326\$" && echo "$w"
    done
}
dialogs() { visible '^Velmora$' | grep -vx "${main:-none}"; }
# (Información: how X carries the accent depends on the program's locale, so it is left out.)
info_window() { visible 'n del pto paralelo$'; }
none() { [ -z "$("$@")" ]; }
focus() { xdotool windowfocus "$1" sleep 0.2 2>/dev/null; }
# await: what, a variable, then a command, whose output goes into the variable once there is one
await() { check "$1" poll "$WAIT" eval "$2=\$(${*:3}); [ -n \"\$$2\" ]"; }
appears() { await "$1: the main window appears, titled Velmora, 296x326 pixels" main main_window; }

# A click on the centre of a control: its design rectangle, left, top, width and height in
# twips, divided by 15 (the value field: 2400 600 615 375; the information window's text box:
# 120 240 6975 3495; the question-mark button: 3720 4200 615 615, which opens the information
# window).
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
VALUE=(180 52)
open_info() { click "$main" 268 300 && await "$1" info info_window; } # what

# What Ctrl+A, Ctrl+C copies from a window, after a click into the control given, if any. A
# marker goes into the clipboard first, so that an old text is never taken for the new one; the
# copy also shows that the program has handled every key and click before it.
MARKER=velmora-e2e-marker
clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r'; }
copy_all() { # window, then the control
    printf '%s' "$MARKER" | xclip -selection clipboard -i >/dev/null 2>&1
    poll "$SETTLE" eval '[ "$(clipboard)" = "$MARKER" ]'
    focus "$1"
    [ $# -eq 1 ] || click "$@"
    xdotool key ctrl+a ctrl+c
    poll "$SETTLE" eval '[ "$(clipboard)" != "$MARKER" ]'
    clipboard
}

# Whether the sixteen indicators show the bits given, "value port", bit 0 first: 1 red, 0 black,
# ? anything else. Indicator i of a row is an 11 x 13 pixel box at (1080 + 360 i) / 15, the rows
# at 2760 and 3360 twips from the top. The bits shown go to the check's log.
lit() { # the bits expected
    local format='' i
    for i in {0..15}; do
        format+="%[hex:p{$((72 + 24 * (i % 8) + 5)),$((i < 8 ? 184 + 6 : 224 + 6))}] "
    done
    # A window that has gone would hold import forever.
    timeout 10 import -window "$main" miff:- 2>/dev/null |
        convert miff:- -depth 8 -format "$format" info:- |
        awk -v expected="$1" '{ for (i = 1; i <= 16; i++)
            shown = shown ($i == "FF0000" ? 1 : $i == "000000" ? 0 : "?") (i == 8 ? " " : "") }
            END { print "shown: " shown; exit (shown != expected) }'
}

# The message box at start: its text (which Ctrl+C copies on Windows) must say each further
# argument; Return dismisses it.
notice() { # what, the parts
    local box part text
    await "$1: a notice at start" box 'dialogs | head -n 1'
    focus "$box"
    [ $# -eq 1 ] || text=$(copy_all "$box")
    for part in "${@:2}"; do
        check "$1: the notice says \"$part\"" grep -qF "$part" <<<"$text"
    done
    xdotool key Return
    check "$1: Return dismisses it" poll "$WAIT" none dialogs
}

# 378 typed into the address field (720 600 975 375), Tab, 5 typed into the value field: value
# indicators 0 and 2; "out HEX" (2400 1080 1575 615) writes 5 to 378h (888), whose row then shows
# it too; the field keeps what was typed.
write_five() { # what
    focus "$main"
    click "$main" 80 52
    xdotool key ctrl+a type --delay 60 378
    xdotool key Tab type --delay 60 5
    check "$1: typing 5 lights value indicators 0 and 2" poll "$SETTLE" lit "10100000 00000000"
    click "$main" 212 92
    check "$1: \"out HEX\" to 378 shows 5 on port 888" poll "$SETTLE" lit "10100000 10100000"
    check "$1: the value field still holds 5" test "$(copy_all "$main" "${VALUE[@]}")" = 5
}
