#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a staging root, checks what it holds, and starts
# Velmora from its desktop entry under Xvfb, as an unprivileged user, the way a desktop would,
# from a folder that is not the install's: the help text must be found in share/velmora.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

passed=0
failed=0
check() { # description, then the command that must succeed
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok   $what"
    else
        failed=$((failed + 1))
        echo "FAIL $what"
    fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

cmake --preset package >/dev/null && cmake --build --preset package >/dev/null \
    && (cd build/package && cpack >/dev/null) || { echo "the package did not build"; failed=1; finish; }
deb=build/package/velmora_1.0.0.0_amd64.deb
check "the package is named velmora_1.0.0.0_amd64.deb" test -f "$deb"
[ -f "$deb" ] || finish

field() { dpkg-deb -f "$deb" "$1"; }
check "version 1.0.0.0" test "$(field Version)" = "1.0.0.0"
check "depends on Qt's widgets and printing" grep -q 'libqt6widgets6.*libqt6printsupport6\|libqt6printsupport6.*libqt6widgets6' <<<"$(field Depends)"
check "depends on the fonts and setcap" grep -q 'fonts-liberation, libcap2-bin' <<<"$(field Depends)"
check "depends on Qt's Spanish translation" grep -q 'qt6-translations-l10n' <<<"$(field Depends)"
# Every warning lintian would give is either fixed or overridden with its reason (README).
if command -v lintian >/dev/null; then
    check "lintian finds no error or warning" lintian --fail-on error,warning "$deb"
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
chmod 755 "$stage"
dpkg-deb -x "$deb" "$stage"
dpkg-deb -e "$deb" "$stage/DEBIAN"

for f in usr/bin/velmora usr/share/velmora/VelmoraInfo.txt usr/share/applications/org.velmora.Velmora.desktop \
         usr/share/metainfo/org.velmora.Velmora.metainfo.xml usr/share/icons/hicolor/scalable/apps/velmora.svg \
         usr/share/doc/velmora/copyright usr/share/doc/velmora/changelog.gz usr/share/man/man1/velmora.1.gz; do
    check "installs /$f" test -s "$stage/$f"
done
check "the manual page names the administrator's file" \
    grep -q /etc/velmora/portio.conf <<<"$(zcat "$stage/usr/share/man/man1/velmora.1.gz")"
check "the command line runs without a display" \
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/velmora" --version
for size in 16 32 48 64 128 256; do
    check "plug icon ${size}x${size}" test "$(identify -format '%wx%h' "$stage/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png" 2>/dev/null)" = "${size}x${size}"
done
if [ -e "$stage/usr/libexec/velmora/velmora-portio" ]; then
    check "the helper is not runnable by others" test "$(stat -c %a "$stage/usr/libexec/velmora/velmora-portio")" = 750
    check "postinst is valid shell" sh -n "$stage/DEBIAN/postinst"
    for f in usr/libexec/velmora/velmora-portio usr/bin/velmora; do
        check "/$f binds its symbols at start (BIND_NOW)" \
            grep -qE 'BIND_NOW|FLAGS_1\).*\bNOW\b' <<<"$(readelf -dW "$stage/$f")"
        check "/$f has read-only relocations (GNU_RELRO)" grep -q GNU_RELRO <<<"$(readelf -lW "$stage/$f")"
        check "/$f has the stack protector or fortified calls (__stack_chk_fail, __*_chk)" \
            grep -qE ' (__stack_chk_fail|__[a-z0-9_]+_chk)(@|$)' <<<"$(readelf --dyn-syms -W "$stage/$f")"
    done
    conf=$stage/etc/velmora/portio.conf
    check "ships /etc/velmora/portio.conf as a conffile" grep -qx /etc/velmora/portio.conf "$stage/DEBIAN/conffiles"
    check "whose every line is a comment, so that it adds no port" \
        test -s "$conf" -a -z "$(grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$conf")"

    # The install scripts, run against stand-ins for the commands that change the system: each
    # logs its call, and those named in STUB_FAIL fail.
    stubs=$stage/stubs
    calls=$stage/calls
    mkdir "$stubs"
    for c in getent groupadd groupdel chown chmod setcap dpkg-statoverride; do
        printf '%s\n' '#!/bin/sh' 'echo "${0##*/} $*" >>"$STUB_LOG"' \
            'case " $STUB_FAIL " in *" ${0##*/} "*) echo "${0##*/}: falla simulada" >&2; exit 1 ;; esac' \
            >"$stubs/$c"
        chmod +x "$stubs/$c"
    done
    stubbed() { # the commands that fail, then a command line; prints the calls made, on one line
        local out
        : >"$calls"
        out=$(env PATH="$stubs:$PATH" STUB_LOG="$calls" STUB_FAIL="$1" "${@:2}" 2>&1) \
            || echo "failed: $out" >>"$calls"
        tr '\n' '|' <"$calls"
    }
    helper=/usr/libexec/velmora/velmora-portio
    grants="setcap cap_sys_rawio+ep $helper|"
    check "postinst sets the helper's owner and mode, then its capability" test \
        "$(stubbed dpkg-statoverride sh "$stage/DEBIAN/postinst" configure)" = \
        "getent group velmora-port|dpkg-statoverride --list $helper|chown root:velmora-port $helper|chmod 0750 $helper|$grants"
    check "postinst leaves an owner and mode set with dpkg-statoverride, and grants" test \
        "$(stubbed "" sh "$stage/DEBIAN/postinst" configure)" = \
        "getent group velmora-port|dpkg-statoverride --list $helper|$grants"
    check "no postrm: purging keeps the group" test ! -e "$stage/DEBIAN/postrm"

    # When `cmake --install` grants: its script, with the package's grant script and the stand-ins.
    if [ "$(id -u)" -eq 0 ]; then
        while read -r destdir configured installed fail expected; do
            [ "$destdir" = - ] && destdir=
            [ "$fail" = - ] && fail=
            got=$(DESTDIR=$destdir stubbed "$fail" cmake -DVELMORA_CONFIGURED_PREFIX="$configured" \
                -DCMAKE_INSTALL_PREFIX="$installed" -DVELMORA_GRANT_SCRIPT=build/package/grant-port-access.sh \
                -P cmake/GrantPortAccess.cmake)
            case $expected in
            grants) check "an install as root into $installed grants" grep -q "$grants\$" <<<"$got" ;;
            fails) check "a grant that fails ends the install and says why" grep -q 'failed: .*setcap: falla simulada' <<<"$got" ;;
            *) check "an install into ${destdir:+DESTDIR }$installed (configured $configured) does not grant" test -z "$got" ;;
            esac
        done <<'END'
- /usr /usr - grants
- /usr/local/ /usr/local - grants
- /opt/velmora /opt/velmora - grants
- /home/ana/.local /home/ana/.local - none
/tmp/stage /usr /usr - none
- /usr /usr/local - none
- /usr /usr setcap fails
END
    fi
fi

entry=$stage/usr/share/applications/org.velmora.Velmora.desktop
check "the desktop entry is valid" desktop-file-validate "$entry"
if command -v appstreamcli >/dev/null; then
    check "the AppStream metadata is valid" appstreamcli validate --no-net --pedantic "$stage/usr/share/metainfo/org.velmora.Velmora.metainfo.xml" >/dev/null
fi
exec_line=$(sed -n 's/^Exec=//p' "$entry")
check "the entry starts /usr/bin/velmora" test "$exec_line" = /usr/bin/velmora
check "the entry names the window class Qt sets" grep -qx 'StartupWMClass=Velmora' "$entry"

# Start it as the desktop would, on a virtual display, as nobody.
run_desktop() {
    local display log pid xvfb ok=1
    # Xvfb picks a free display itself and says which once it accepts connections.
    exec {fd}< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
    xvfb=$!
    read -r -t 10 number <&"$fd" || { echo "     Xvfb did not start"; return 1; }
    display=:$number
    log=$(mktemp)
    (cd / && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env -i DISPLAY="$display" HOME=/tmp PATH=/usr/bin:/bin "$stage$exec_line") >"$log" 2>&1 &
    pid=$!
    export DISPLAY=$display
    main=
    for _ in $(seq 100); do
        for w in $(xdotool search --name '^Velmora$' 2>/dev/null); do
            xdotool getwindowgeometry "$w" | grep -q 'Geometry: 296x326' && main=$w
        done
        [ -n "$main" ] && break
        sleep 0.1
    done
    if [ -z "$main" ]; then
        echo "     the main window did not appear; the program said:"; sed 's/^/     /' "$log"
        ok=0
    else
        xdotool search --class '^Velmora$' 2>/dev/null | grep -qx "$main" \
            || { echo "     the window's class is not the entry's StartupWMClass"; ok=0; }
        sleep 0.5
        # The notice about the simulated port: dismiss it.
        for w in $(xdotool search --name '^Velmora$'); do
            [ "$w" = "$main" ] || { xdotool windowfocus --sync "$w" key Return 2>/dev/null || true; }
        done
        sleep 0.3
        # The question-mark button opens the help window, which reads the text from the folder.
        xdotool mousemove --window "$main" 268 300 click 1
        info=
        for _ in $(seq 50); do
            info=$(xdotool search --name 'del pto paralelo$' 2>/dev/null | head -n 1)
            [ -n "$info" ] && break
            sleep 0.1
        done
        [ -n "$info" ] || { echo "     the help window did not open"; ok=0; }
        kill -0 "$pid" 2>/dev/null || { echo "     the program ended"; ok=0; }
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    exec {fd}<&-
    rm -f "$log"
    [ "$ok" -eq 1 ]
}
check "started from its desktop entry, it shows its window and opens the help text" run_desktop

finish
