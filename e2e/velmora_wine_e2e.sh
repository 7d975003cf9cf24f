#!/usr/bin/env bash
# The real velmora.exe under wine, as the installer puts it: the installer runs silently into the
# build's wine prefix, then the program is started from its install folder three times, with no
# port library, with a stand-in inpoutx64.dll whose driver is not open, and with a stand-in that
# records each Out32, and driven with xdotool as a person would (e2e_window.sh). Last the
# uninstaller runs, and must leave the port library the user added.
#
# Usage: e2e/velmora_wine_e2e.sh [build folder, default build/mingw64]
# Needs DISPLAY (tools/windows-test.sh starts Xvfb), xdotool, xclip, ImageMagick, and the build's
# wine-run.sh, whose prefix is made beforehand. Leaves a screenshot, velmora-wine.png, in the build.
set -uo pipefail
source "$(dirname "$0")/e2e_window.sh"
build=$(realpath "${1:-$(dirname "$0")/../build/mingw64}")
wine_run=$build/wine-run.sh
installer=$(ls "$build"/Velmora-*-instalar.exe 2>/dev/null | head -n 1)
export WINEPREFIX=$build/wine
install_dir="$WINEPREFIX/drive_c/Program Files/Velmora"
WAIT=${VELMORA_E2E_WAIT:-600} SETTLE=${VELMORA_E2E_SETTLE:-150}
tmp=$(mktemp -d /tmp/velmora-wine-e2e.XXXXXX)

# The program runs in a session of its own, so that wine's process goes with its wrapper.
stop_program() { kill -- "-$pid" 2>/dev/null && wait "$pid"; }
trap 'stop_program; rm -rf "$tmp"' EXIT

# Starts velmora.exe in its install folder, as the Start-menu shortcut does, and waits for its
# main window; with further arguments, for the notice at start too, which must say each of them.
start() { # what, the notice's parts
    stop_program
    (cd "$install_dir" && exec setsid "$wine_run" velmora.exe) >"$tmp/program.log" 2>&1 &
    pid=$!
    check "$1: the main window appears, titled Velmora, 296x326 pixels" \
        poll "$WAIT" eval 'main=$(main_window); [ -n "$main" ]'
    [ $# -eq 1 ] || notice "$@"
    [ -n "$main" ]
}

rm -rf "$install_dir"
check "the installer runs silently and succeeds" "$wine_run" "$installer" /S
for file in velmora.exe VelmoraInfo.txt Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll \
    translations/qtbase_es.qm libstdc++-6.dll LICENCIAS.txt licencias/Qt-LGPL-3.0.txt \
    desinstalar.exe; do
    check "it installs Program Files\\Velmora\\$file" test -f "$install_dir/$file"
done
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
registry=$("$wine_run" reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
check "Programs and Features lists version 1.0.0.0" has "DisplayVersion    REG_SZ    1.0.0.0" \
    "$registry"
check "  and the publisher" has "Publisher    REG_SZ    Velmora" "$registry"
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora.lnk' | head -n 1)
check "a Start-menu shortcut" test -n "$shortcut"

# No port library: the simulated port, after a notice naming the library. Qt's own button text
# shows that its Spanish translation (qtbase_es.qm, through qt.conf) loaded; the help window
# opens only when the program finds the installed help text.
rm -f "$install_dir/inpoutx64.dll" "$install_dir/velmora-port-writes.txt"
if start "no port library" inpoutx64.dll "puerto paralelo simulado" Aceptar; then
    write_five "no port library"
    import -window root "$build/velmora-wine.png"
    click "$main" "${INFO[@]}"
    check "the information button opens the help window" poll "$WAIT" eval '[ -n "$(info_window)" ]'
fi

cp "$build/velmora_fake_port_driver_closed.dll" "$install_dir/inpoutx64.dll"
if start "driver not open" IsInpOutDriverOpen "como administrador" "puerto paralelo simulado"; then
    write_five "driver not open"
    check "driver not open: nothing reaches the library" \
        test ! -e "$install_dir/velmora-port-writes.txt"
fi

cp "$build/velmora_fake_port_recording.dll" "$install_dir/inpoutx64.dll"
if start "port library"; then
    write_five "port library"
    check "port library: \"out HEX\" wrote 5 to 888 through inpoutx64.dll" test "Out32 888 5" = \
        "$(tr -d '\r' <"$install_dir/velmora-port-writes.txt")"
fi

stop_program
# The uninstaller runs a copy of itself from the temporary folder and returns at once.
"$wine_run" "$install_dir/desinstalar.exe" /S >/dev/null 2>&1
poll "$WAIT" test ! -e "$install_dir/desinstalar.exe"
check "the uninstaller removes velmora.exe and Qt" \
    test ! -e "$install_dir/velmora.exe" -a ! -e "$install_dir/Qt6Core.dll"
check "  and the Start-menu shortcut" test ! -e "$shortcut"
check "  and the Programs and Features entry" eval '! "$wine_run" reg query "$uninstall_key"'
check "  but keeps the port library the user added" test -f "$install_dir/inpoutx64.dll"
finish
