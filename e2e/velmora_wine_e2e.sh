#!/usr/bin/env bash
# The real velmora.exe under wine, as a new user gets it: a wine prefix of its own, made afresh,
# with no Z: drive (so nothing of the build is reachable), into which the installer, copied onto
# C: as if downloaded, runs silently; then the program is started from its install folder, as the
# Start-menu shortcut does, with a clean environment (no WINEPATH): every DLL it loads must come
# from the install. It starts three times, with no port library, with a stand-in inpoutx64.dll
# whose driver is not open, and with a stand-in that records each Out32, and is driven with
# xdotool as a person would (e2e_window.sh). Then velmora.com, the command line, is typed at cmd's
# prompt, on a stand-in that keeps what is written. Last the uninstaller runs, and must leave the
# port library the user added. A further installed program is started the same way ("${user[@]}").
#
# Usage: e2e/velmora_wine_e2e.sh [build folder, default build/mingw64]
# Needs DISPLAY (tools/windows-test.sh starts Xvfb), wine64, xdotool, xclip and ImageMagick.
# Leaves a screenshot of the run without a port library, velmora-wine.png, in the build.
set -uo pipefail
source "$(dirname "$0")/e2e_window.sh"
build=$(realpath "${1:-$(dirname "$0")/../build/mingw64}")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
mkdir "$tmp/home"
prefix=$tmp/home/.wine
user=(env -i DISPLAY="$DISPLAY" HOME="$tmp/home" WINEPREFIX="$prefix" WINEDEBUG=fixme-all "$wine")
install_dir="$prefix/drive_c/Program Files/Velmora"
WAIT=600 SETTLE=150

# The prefix, with no Mono or Gecko prompts (nothing here needs .NET or HTML); its server stays
# up until the end, so that wine's services do not start again with each program.
HOME=$tmp/home WINEPREFIX=$prefix WINEDLLOVERRIDES='mscoree,mshtml=' "$wine" wineboot --init \
    >"$tmp/wineboot.log" 2>&1
WINEPREFIX=$prefix "$wineserver" -w
rm "$prefix/dosdevices/z:"
WINEPREFIX=$prefix "$wineserver" -p
trap 'stop_program; WINEPREFIX=$prefix "$wineserver" -k; rm -rf "$tmp"' EXIT
installer=$(basename "$build"/Velmora-*-instalar.exe)
cp "$build/$installer" "$prefix/drive_c/users/Public/"
cd "$prefix/drive_c" || exit 1
check "the installer runs silently and succeeds" \
    "${user[@]}" "C:\\users\\Public\\$installer" /S
for file in velmora.exe velmora.com VelmoraInfo.txt Qt6Core.dll Qt6Widgets.dll \
    platforms/qwindows.dll translations/qtbase_es.qm libstdc++-6.dll LICENCIAS.txt \
    licencias/Qt-LGPL-3.0.txt desinstalar.exe; do
    check "it installs Program Files\\Velmora\\$file" test -f "$install_dir/$file"
done
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
registry=$("${user[@]}" reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
for value in "DisplayVersion    REG_SZ    1.0.0.0" "Publisher    REG_SZ    Velmora"; do
    check "Programs and Features lists $value" grep -qF "$value" <<<"$registry"
done
shortcut=$(find "$prefix/drive_c" -path '*Start Menu/Programs/Velmora.lnk' | head -n 1)
check "a Start-menu shortcut" test -n "$shortcut"

# velmora.exe started three times from its install folder, as the Start-menu shortcut does, each
# with the port library the user may have put beside it: none, a stand-in whose driver is not
# open, and a stand-in that records each Out32 (into velmora-port-writes.txt). Columns: the run,
# the stand-in (velmora_fake_port_<name>.dll), what it must record, then what the notice at start
# must say (nothing: no notice), the port doctor's word included (wine lists no LPT port). Qt's
# own button text shows that its Spanish translation (qtbase_es.qm, through qt.conf) loaded; the
# help window opens only when the program finds the installed help text. The first run also opens
# the pin window.
while IFS='|' read -r -a run -u 3; do
    stop_program
    rm -f "$install_dir/inpoutx64.dll" "$install_dir/velmora-port-writes.txt"
    [ -z "${run[1]}" ] || cp "$build/velmora_fake_port_${run[1]}.dll" "$install_dir/inpoutx64.dll"
    launch "$install_dir" "${user[@]}" velmora.exe
    appears "${run[0]}" || continue
    [ ${#run[@]} -eq 3 ] || notice "${run[0]}" "${run[@]:3}"
    write_five "${run[0]}"
    [ -n "${run[1]}" ] || timeout 10 import -window root "$build/velmora-wine.png"
    # F2 opens the pin window while the main window is the active one (here, without a window
    # manager, a click does not make it so); Alt+F4 closes it, as on Windows.
    if [ -z "${run[1]}" ]; then
        focus "$main" && xdotool key F2
        await "${run[0]}: F2 opens the pin window" pins "visible '^Pines del puerto\$'"
        focus "$pins" && xdotool key alt+F4
        check "${run[0]}: Alt+F4 closes it" poll "$WAIT" none visible '^Pines del puerto$'
    fi
    open_info "${run[0]}: the information button opens the help window"
    check "${run[0]}: \"out HEX\" reached the library as \"${run[2]}\"" \
        test "$(tr -d '\r' 2>/dev/null <"$install_dir/velmora-port-writes.txt")" = "${run[2]}"
done 3<<'END'
no port library|||inpoutx64.dll|no se encuentra ningún puerto paralelo|puerto paralelo simulado|Aceptar
driver not open|driver_closed||IsInpOutDriverOpen|como administrador|puerto paralelo simulado
port library|recording|Out32 888 5
END

stop_program
# velmora.com typed at cmd's prompt in the install folder, which cmd finds before velmora.exe; the
# stand-in there now keeps the bytes written (velmora-port-bytes.bin beside it), so that one run
# reads what another wrote. wine's exit status is the program's. Through a terminal (script), the
# console shows the accents (UTF-8 output code page) and has its own code page back after.
cp "$build/velmora_fake_port_keeping.dll" "$install_dir/inpoutx64.dll"
at_prompt='cd /d C:\Program Files\Velmora &&'
# A start that wine itself could not make (see cmake/wine-run.sh.in) is made again.
velmora() {
    local status
    for _ in 1 2 3; do
        timeout 60 "${user[@]}" cmd /c "$at_prompt velmora $*" 2>"$tmp/velmora.err"
        status=$?
        grep -q "failed to map the shared user data" "$tmp/velmora.err" || break
    done
    cat "$tmp/velmora.err" >&2
    return "$status"
}
check "velmora write 378h 0xA5, then velmora read 378h says 165" \
    eval 'velmora write 378h 0xA5 && test "$(velmora read 378h | tr -d "\r")" = 165'
velmora read 70000 >"$tmp/bad.log" 2>&1
bad=$?
check "velmora read 70000 exits 2 and says how to write an address" eval '[ $bad = 2 ] &&' \
    'grep -qF "decimal de 0 a 65535, o hexadecimal como 0x378, 378h o &H378" "$tmp/bad.log"'
check "velmora ports --json is JSON: no port, wine lists no LPT port" eval \
    'velmora ports --json 2>"$tmp/ports.log" |
     python3 -c "import json, sys; assert json.load(sys.stdin) == []"'
check "  and beside it, on standard error, the port library found" \
    grep -F "Biblioteca: C:\Program Files\Velmora\inpoutx64.dll, de 64 bits" "$tmp/ports.log"
check "  and velmora ports names the port library found" eval \
    'velmora ports | grep -F "Biblioteca: C:\Program Files\Velmora\inpoutx64.dll, de 64 bits"'
check "velmora pins --watch --count 3 ends, redirected a CSV log with its header" eval \
    'velmora pins --watch --count 3 --interval 10 | python3 -c "import csv, sys;
assert next(csv.reader(sys.stdin)) == \"hora pin señal antes después t_us\".split()"'
check "  and with --json one JSON object a sample" eval \
    'velmora pins --watch --count 3 --interval 10 --json | python3 -c "import json, sys;
assert len([json.loads(line) for line in sys.stdin]) == 3"'
check "velmora pulse: 3 pulses on Windows' clock, the register back at A5h" eval \
    'velmora pulse 378h 1 --width 1ms --count 3 --period 5ms --json | python3 -c "import json, sys;
train = json.load(sys.stdin); assert (train[\"pulses\"], train[\"idle\"]) == (3, 165)" &&
    test "$(velmora read 378h | tr -d "\r")" = 165'
velmora selftest --yes --json >"$tmp/selftest.json"
status=$?
check "velmora selftest --yes --json completes: exit 3, the stand-in's inputs stuck at 0" \
    eval '[ $status = 3 ] && python3 -c "import json, sys;
assert json.load(sys.stdin)[\"ending\"] == \"completed\"" <"$tmp/selftest.json"'
# A terminal of its own (script, 200 columns) for velmora.com at the prompt: what it shows goes to
# the log, keys written to descriptor 4 go to it. Wine's console host draws a program's last
# output after the program has ended: the terminal's shell stays, keeping the session (and so
# the host) alive, until the host has gone, as a console window stays until its host is done.
# script starts $SHELL (sh where none is set, as on CI): exec'd, it leaves bash alone between
# the terminal and wine. A sh left waiting there dies of the SIGINT that Ctrl-C sends the
# foreground group, and the terminal's status is 130, whatever the program did; bash waits
# for wine, which takes the signal as the console's Ctrl-C and ends as the program says.
in_terminal() { # the log, then the command at the prompt
    rm -f "$tmp/keys" && mkfifo "$tmp/keys"
    {
        echo 'stty cols 200'
        printf '%q ' "${user[@]:0:2}" LANG=C.UTF-8 "${user[@]:2}" cmd /c "$at_prompt ${*:2}"
        echo
        echo 'status=$?'
        echo 'read -r -a self </proc/$$/stat'
        echo 'for _ in $(seq 100); do'
        echo '    grep -qs "^[0-9]* (conhost.exe) . [0-9]* [0-9]* ${self[5]} " /proc/[0-9]*/stat || break'
        echo '    sleep 0.1'
        echo 'done'
        echo 'exit $status'
    } >"$tmp/terminal.sh"
    timeout 60 script -qec "exec bash $tmp/terminal.sh" /dev/null <"$tmp/keys" >"$1" 2>&1 &
    exec 4>"$tmp/keys"
}
shows() { sed 's/\x1b\[[0-9?;]*[A-Za-z]//g' "$1" | grep -aq "$2"; } # the log, a pattern
in_terminal "$tmp/help.log" velmora --help "&&" chcp
exec 4>&-
wait $!
check "velmora --help in a terminal shows DIRECCIÓN" shows "$tmp/help.log" DIRECCIÓN
check "  and the console has its code page back" eval \
    'shows "$tmp/help.log" "page: *[0-9]" && ! shows "$tmp/help.log" "page: *65001"'
# The watch's table in a terminal ends on q and on Ctrl-C, leaving its screen (ESC [?1049l).
for key in q Ctrl-C; do
    in_terminal "$tmp/watch.log" velmora pins --watch
    check "velmora pins --watch in a terminal shows its table" poll "$WAIT" \
        shows "$tmp/watch.log" "Pulse q o Ctrl-C"
    printf '%s' "${key/Ctrl-C/$'\003'}" >&4
    check "  and $key ends it" eval 'wait $! && grep -q "1049l" "$tmp/watch.log"'
    exec 4>&-
done
# velmora.exe given a command at that prompt: a box, and on the console the line saying to type
# it where velmora.com answers; exit status 2.
in_terminal "$tmp/exe.log" velmora.exe read 378h
notice "velmora.exe read 378h"
exec 4>&-
check "  and on the console: velmora.com; status 2" eval \
    'wait $!; [ $? = 2 ] && shows "$tmp/exe.log" "allí usa velmora.com"'

stop_program
# The uninstaller runs a copy of itself from the temporary folder and returns at once: the
# wait is for that copy.
"${user[@]}" 'C:\Program Files\Velmora\desinstalar.exe' /S >/dev/null 2>&1
check "the uninstaller removes itself, velmora.exe, velmora.com and Qt" poll "$WAIT" none ls \
    "$install_dir"/{desinstalar,velmora}.exe "$install_dir"/{velmora.com,Qt6Core.dll}
check "  and the Start-menu shortcut" test ! -e "$shortcut"
check "  and the Programs and Features entry" eval '! "${user[@]}" reg query "$uninstall_key"'
check "  but keeps the port library the user added" test -f "$install_dir/inpoutx64.dll"
finish
