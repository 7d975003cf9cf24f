#!/usr/bin/env bash
# The real velmora.exe under wine, as the installer puts it: the installer runs silently into the
# build's wine prefix, then the program is started from its install folder three times, with no
# port library, with a stand-in inpoutx64.dll whose driver is not open, and with a stand-in that
# records each Out32. It is driven with xdotool as a person would; what it shows is read from
# screenshots (the indicators) and the clipboard (fields, message boxes, the help text). Last the
# uninstaller runs, and must leave the port library the user added.
#
# Usage: e2e/velmora_wine_e2e.sh [build folder, default build/mingw64]
# Needs DISPLAY (tools/windows-test.sh starts Xvfb), xdotool, xclip, ImageMagick, and the build's
# wine-run.sh, whose prefix is made beforehand. Leaves a screenshot, velmora-wine.png, in the build.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/mingw64}")
wine_run=$build/wine-run.sh
installer=$(ls "$build"/Velmora-*-instalar.exe 2>/dev/null | head -n 1)
[ -x "$wine_run" ] && [ -n "$installer" ] && [ -n "${DISPLAY:-}" ] || {
    echo "windows-e2e: needs DISPLAY, $wine_run and the installer in $build" >&2; exit 2; }
export WINEPREFIX=$build/wine
install_dir="$WINEPREFIX/drive_c/Program Files/Velmora"
# The stand-in port libraries, beside the test programs.
fakes=$build

WAIT=${VELMORA_E2E_WAIT:-600}
SETTLE=${VELMORA_E2E_SETTLE:-150}
passed=0 failed=0 pid=''
tmp=$(mktemp -d /tmp/velmora-wine-e2e.XXXXXX)

# The program runs in a session of its own, so that wine's process goes with its wrapper.
stop_program() {
    if [ -n "$pid" ]; then
        kill -- "-$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        pid=''
    fi
}
trap 'stop_program; rm -rf "$tmp"' EXIT
trap "exit 1" INT TERM HUP

pass() { passed=$((passed + 1)); echo "ok      $1"; }
fail() { failed=$((failed + 1)); echo "FAILED  $1"; }
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected '$2', got '$3'"; fi; }
contains() {
    if [[ $3 == *"$2"* ]]; then pass "$1"; else fail "$1: \"$2\" missing in: $3"; fi
}
yes_no() { if "$@" >/dev/null 2>&1; then echo yes; else echo no; fi; }
poll() {
    local tenths=$1 i
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

# --- Windows of the program ------------------------------------------------------------------

# The design's client areas in twips, 15 twips a pixel.
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
dialogs() {
    local w
    for w in $(visible '^Velmora$'); do
        [ "$w" != "${main:-}" ] && echo "$w"
    done
}
info_window() { visible "^$INFO_TITLE\$"; }
count() { "$@" | grep -c .; }
has_windows() { [ "$(count "$1")" -ge 1 ]; }
has_no_window() { [ "$(count "$1")" -eq 0 ]; }

focus() {
    xdotool windowactivate "$1" 2>/dev/null || xdotool windowfocus "$1" 2>/dev/null
    sleep 0.2
}
click() {
    local window=$1 left=$2 top=$3 width=$4 height=$5
    xdotool mousemove --window "$window" $(((left + width / 2) / 15)) $(((top + height / 2) / 15)) \
        click 1
}
ADDRESS=(720 600 975 375)
VALUE=(2400 600 615 375)
OUT_HEX=(2400 1080 1575 615)
INFO=(3720 4200 615 615)
TEXT_INFO=(120 240 6975 3495)

# The clipboard, as wine hands the program's Ctrl+C to X: a marker goes in first, so that an old
# text is never taken for the new one.
MARKER=velmora-wine-e2e-marker
arm_clipboard() {
    printf '%s' "$MARKER" | xclip -selection clipboard -i >/dev/null 2>&1
    poll "$SETTLE" sh -c '[ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]' - "$MARKER"
}
read_clipboard() {
    poll "$SETTLE" sh -c '[ "$(xclip -o -selection clipboard 2>/dev/null)" != "$1" ]' - "$MARKER" ||
        { echo "(nothing copied)"; return 1; }
    xclip -o -selection clipboard 2>/dev/null | tr -d '\r'
}
field() {
    focus "$main"
    arm_clipboard
    click "$main" "$@"
    xdotool key ctrl+a ctrl+c
    read_clipboard
}
type_into() {
    local text=$1
    shift
    focus "$main"
    click "$main" "$@"
    xdotool key ctrl+a
    xdotool type --delay 60 "$text"
}

# The sixteen indicators, "value port", bit 0 first: 1 red, 0 black, ? anything else.
screenshot() {
    import -window "$1" miff:- 2>/dev/null | convert miff:- -depth 8 -format "$2" info:- 2>/dev/null
}
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
check_indicators() {
    local got t
    for ((t = 0; t < SETTLE; t++)); do
        got=$(indicators)
        [ "$got" = "$2" ] && break
        sleep 0.1
    done
    check "$1" "$2" "$got"
}

# --- One run of the program ------------------------------------------------------------------

# Starts velmora.exe in its install folder, as the Start-menu shortcut does, and waits for its
# main window. With $1 = notice, also for the start-up notice, whose text (Ctrl+C in a message
# box copies it) must contain each further argument; Return dismisses it.
start() {
    local expect=$1 what=$2 box t
    shift 2
    (cd "$install_dir" && exec setsid "$wine_run" velmora.exe) >"$tmp/program.log" 2>&1 &
    pid=$!
    main=''
    for ((t = 0; t < WAIT; t++)); do
        main=$(main_window | head -n 1)
        [ -n "$main" ] && { [ "$expect" != notice ] || has_windows dialogs; } && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    check "$what: the main window appears, titled Velmora, $MAIN_SIZE pixels" yes \
        "$(yes_no test -n "$main")"
    [ -n "$main" ] || return 1
    if [ "$expect" != notice ]; then
        sleep 2
        check "$what: no notice at start" 0 "$(count dialogs)"
        return 0
    fi
    box=$(dialogs | head -n 1)
    check "$what: a notice appears at start" yes "$(yes_no test -n "$box")"
    [ -n "$box" ] || return 1
    focus "$box"
    arm_clipboard
    xdotool key ctrl+c
    local text
    text=$(read_clipboard)
    for part in "$@"; do
        contains "$what: the notice says \"$part\"" "$part" "$text"
    done
    focus "$box"
    xdotool key Return
    poll "$WAIT" has_no_window dialogs
    check "$what: Return dismisses the notice" 0 "$(count dialogs)"
}

# 378 in the address field, 5 in the value field: indicators 0 and 2; "out HEX" writes 5 to
# port 888 (378h), whose indicators then show it too.
write_five() {
    local what=$1
    type_into 378 "${ADDRESS[@]}"
    xdotool key Tab
    xdotool type --delay 60 5
    check_indicators "$what: typing 5 lights value indicators 0 and 2" "10100000 00000000"
    click "$main" "${OUT_HEX[@]}"
    check_indicators "$what: \"out HEX\" to 378 shows 5 on port 888" "10100000 10100000"
    check "$what: the value field still holds 5" 5 "$(field "${VALUE[@]}")"
}

# --- The installer ---------------------------------------------------------------------------

echo "windows-e2e: $(basename "$installer") under wine on display $DISPLAY"
rm -rf "$install_dir"
"$wine_run" "$installer" /S >"$tmp/install.log" 2>&1
check "the installer runs silently and succeeds" 0 "$?"
check "it installs velmora.exe into Program Files\\Velmora" yes \
    "$(yes_no test -f "$install_dir/velmora.exe")"
for file in VelmoraInfo.txt Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll \
    translations/qtbase_es.qm libstdc++-6.dll LICENCIAS.txt licencias/Qt-LGPL-3.0.txt \
    desinstalar.exe; do
    check "  with $file" yes "$(yes_no test -f "$install_dir/$file")"
done
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
registry=$("$wine_run" reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
contains "Programs and Features lists it, version 1.0.0.0" "DisplayVersion    REG_SZ    1.0.0.0" \
    "$registry"
contains "  with its publisher" "Publisher    REG_SZ    Velmora" "$registry"
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora.lnk' | head -n 1)
check "a Start-menu shortcut" yes "$(yes_no test -n "$shortcut")"

# --- No port library: the simulated port, after a notice naming the library ------------------

rm -f "$install_dir/inpoutx64.dll" "$install_dir/velmora-port-writes.txt"
# Qt's own button text shows that its Spanish translation (qtbase_es.qm, through qt.conf) loaded.
if start notice "no port library" inpoutx64.dll "puerto paralelo simulado" Aceptar; then
    write_five "no port library"
    import -window root "$build/velmora-wine.png" 2>/dev/null
    focus "$main"
    click "$main" "${INFO[@]}"
    poll "$WAIT" has_windows info_window
    info=$(info_window | head -n 1)
    check "the information button opens the help window" yes "$(yes_no test -n "$info")"
    if [ -n "$info" ]; then
        focus "$info"
        arm_clipboard
        click "$info" "${TEXT_INFO[@]}"
        xdotool key ctrl+a ctrl+c
        shown=$(read_clipboard; echo .)
        expected=$(tr -d '\r' <"$install_dir/VelmoraInfo.txt"; echo .)
        check "it shows the help text, line for line ($(wc -l <"$install_dir/VelmoraInfo.txt") lines)" \
            "$(printf '%s' "$expected" | md5sum)" "$(printf '%s' "$shown" | md5sum)"
    fi
fi
stop_program

# --- A port library whose driver is not open ---------------------------------------------------

cp "$fakes/velmora_fake_port_driver_closed.dll" "$install_dir/inpoutx64.dll"
if start notice "driver not open" IsInpOutDriverOpen "como administrador" \
    "puerto paralelo simulado"; then
    write_five "driver not open"
    check "driver not open: nothing reaches the library" no \
        "$(yes_no test -e "$install_dir/velmora-port-writes.txt")"
fi
stop_program

# --- A port library that records what it is given ---------------------------------------------

cp "$fakes/velmora_fake_port_recording.dll" "$install_dir/inpoutx64.dll"
rm -f "$install_dir/velmora-port-writes.txt"
if start none "port library"; then
    write_five "port library"
    check "port library: \"out HEX\" wrote 5 to 888 through inpoutx64.dll" "Out32 888 5" \
        "$(tr -d '\r' <"$install_dir/velmora-port-writes.txt" 2>/dev/null)"
fi
stop_program

# --- The uninstaller ---------------------------------------------------------------------------

# The uninstaller runs a copy of itself from the temporary folder and returns at once.
"$wine_run" "$install_dir/desinstalar.exe" /S >"$tmp/uninstall.log" 2>&1
poll "$WAIT" test ! -e "$install_dir/desinstalar.exe"
check "the uninstaller removes velmora.exe and Qt" no \
    "$(yes_no test -e "$install_dir/velmora.exe" -o -e "$install_dir/Qt6Core.dll")"
check "  and the Start-menu shortcut" no "$(yes_no test -e "$shortcut")"
check "  and the Programs and Features entry" no \
    "$(yes_no "$wine_run" reg query "$uninstall_key")"
check "  but keeps the port library the user added" yes \
    "$(yes_no test -f "$install_dir/inpoutx64.dll")"

if [ "$failed" -gt 0 ]; then
    echo "--- the program's last output:"
    tail -n 20 "$tmp/program.log"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
