#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a staging root and checks what it holds: control
# fields, lintian, files and modes, hardening, the install scripts and the install's grant step
# (against stand-ins for the commands that change the system), the manual page, the desktop
# entry and metadata. Last it starts Velmora from its desktop entry under Xvfb, as an unprivileged
# user, the way a desktop would, from a folder that is not the install's: the window must carry
# the class the entry names, and the help window must find its text in share/velmora.
set -uo pipefail
cd "$(dirname "$0")/.."
source e2e/e2e_window.sh # check, finish, tmp, and the program's windows

cmake --preset package >/dev/null && cmake --build --preset package >/dev/null &&
    (cd build/package && cpack >/dev/null) || { echo "the package did not build"; exit 1; }
deb=build/package/velmora_1.0.0.0_amd64.deb
check "the package is named velmora_1.0.0.0_amd64.deb" test -f "$deb" || finish
check "version 1.0.0.0" test "$(dpkg-deb -f "$deb" Version)" = 1.0.0.0
for dependency in libqt6widgets6 libqt6printsupport6 fonts-liberation libcap2-bin \
    qt6-translations-l10n; do
    check "depends on $dependency" grep -qw "$dependency" <<<"$(dpkg-deb -f "$deb" Depends)"
done
# Every warning lintian would give is either fixed or overridden with its reason (README).
check "lintian finds no error or warning" lintian --fail-on error,warning "$deb"

stage=$tmp/root
# (dpkg-deb gives the root the package's mode, 755: the program runs from it as nobody.)
dpkg-deb -x "$deb" "$stage" && dpkg-deb -e "$deb" "$stage/DEBIAN"
helper=/usr/libexec/velmora/velmora-portio conf=/etc/velmora/portio.conf
while read -r mode file; do
    check "installs $file, mode $mode" \
        test -s "$stage$file" -a "$(stat -c %a "$stage$file")" = "$mode"
done <<END
755 /usr/bin/velmora
750 $helper
644 /usr/share/velmora/VelmoraInfo.txt
644 /usr/share/applications/org.velmora.Velmora.desktop
644 /usr/share/metainfo/org.velmora.Velmora.metainfo.xml
644 /usr/share/icons/hicolor/scalable/apps/velmora.svg
644 /usr/share/doc/velmora/copyright
644 /usr/share/doc/velmora/changelog.gz
644 /usr/share/man/man1/velmora.1.gz
644 $conf
END
for size in 16 32 48 64 128 256; do
    check "plug icon ${size}x$size" test "$(identify -format '%wx%h' \
        "$stage/usr/share/icons/hicolor/${size}x$size/apps/velmora.png")" = "${size}x$size"
done
check "the manual page names $conf" zgrep -q "$conf" "$stage/usr/share/man/man1/velmora.1.gz"
check "the command line runs without a display" \
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/velmora" --version
for f in $helper /usr/bin/velmora; do
    check "$f binds its symbols at start" grep -qE 'BIND_NOW|FLAGS_1\).*\bNOW\b' \
        <<<"$(readelf -dW "$stage$f")"
    check "$f has read-only relocations" grep -q GNU_RELRO <<<"$(readelf -lW "$stage$f")"
    check "$f has the stack protector or fortified calls" grep -qE \
        ' (__stack_chk_fail|__[a-z0-9_]+_chk)(@|$)' <<<"$(readelf --dyn-syms -W "$stage$f")"
done
check "$conf is a conffile" grep -qx "$conf" "$stage/DEBIAN/conffiles"
check "  whose every line is a comment, so that it adds no port" \
    none grep -vE '^[[:space:]]*(#|$)' "$stage$conf"
check "no postrm: purging keeps the group" test ! -e "$stage/DEBIAN/postrm"

# The install scripts, run against stand-ins for the commands that change the system: each logs
# its call, and those named in STUB_FAIL fail. stubbed prints the calls made, on one line.
mkdir "$tmp/stubs"
for c in getent groupadd chown chmod setcap dpkg-statoverride; do
    printf '%s\n' '#!/bin/sh' 'echo "${0##*/} $*" >>"$STUB_LOG"' 'case " $STUB_FAIL " in' \
        '*" ${0##*/} "*) echo "${0##*/}: falla simulada" >&2; exit 1 ;;' esac >"$tmp/stubs/$c"
    chmod +x "$tmp/stubs/$c"
done
stubbed() { # the commands that fail, then a command line
    local out
    : >"$tmp/calls"
    out=$(env PATH="$tmp/stubs:$PATH" STUB_LOG="$tmp/calls" STUB_FAIL="$1" "${@:2}" 2>&1) ||
        echo "failed: $out" >>"$tmp/calls"
    tr '\n' '|' <"$tmp/calls"
}
grants="setcap cap_sys_rawio+ep $helper|"
check "postinst sets the helper's owner and mode, then its capability" test "$(stubbed \
    dpkg-statoverride sh "$stage/DEBIAN/postinst" configure)" = "getent group velmora-port|\
dpkg-statoverride --list $helper|chown root:velmora-port $helper|chmod 0750 $helper|$grants"
check "postinst leaves an owner and mode set with dpkg-statoverride, and grants" test \
    "$(stubbed "" sh "$stage/DEBIAN/postinst" configure)" = \
    "getent group velmora-port|dpkg-statoverride --list $helper|$grants"
# `cmake --install` grants only as root into a system prefix it was configured for; a grant that
# fails ends the install and says why. Columns: DESTDIR, configured and installed prefix, the
# command that fails, and the calls made (a pattern). The grant is given the staged helper.
echo "exec sh build/package/grant-port-access.sh '$stage$helper'" >"$tmp/grant.sh"
staged="setcap cap_sys_rawio+ep $stage$helper|"
[ "$(id -u)" -eq 0 ] && while read -r destdir configured installed fail calls; do
    check "install into ${destdir#-}$installed, configured $configured, failing: $fail" \
        grep -qx -- "${calls#-}" <<<"$(DESTDIR=${destdir#-} stubbed "${fail#-}" cmake \
            -DCMAKE_INSTALL_PREFIX="$installed" -DVELMORA_CONFIGURED_PREFIX="$configured" \
            -DVELMORA_GRANT_SCRIPT="$tmp/grant.sh" \
            -P cmake/GrantPortAccess.cmake)"
done <<END
- /usr /usr - .*$staged
- /usr/local/ /usr/local - .*$staged
- /opt/velmora /opt/velmora - .*$staged
- /home/ana/.local /home/ana/.local - -
/tmp/stage /usr /usr - -
- /usr /usr/local - -
- /usr /usr setcap .*failed: .*setcap: falla simulada.*
- /opt/../home/ana /opt/../home/ana - -
END
# The grant itself, on the staged helper: refused through a link or in a folder others may change.
# On an upgrade the preinst takes the old helper's capability (a staged copy's, here) with chown.
grant() { stubbed "" sh build/package/grant-port-access.sh "$1"; }
old=$tmp/old-helper
stripped() { sh "$tmp/preinst" upgrade 1.0 && [ -z "$(getcap "$old")" ]; }
if [ "$(id -u)" -eq 0 ]; then
    check "the grant, on the staged helper" test "$(grant "$stage$helper")" = "getent group \
velmora-port|chown root:velmora-port $stage$helper|chmod 0750 $stage$helper|setcap \
cap_sys_rawio+ep $stage$helper|"
    ln -s "$stage$helper" "$tmp/linked"
    check "  but not through a link" grep -q "^failed: .*enlace simbólico" <<<"$(grant "$tmp/linked")"
    chmod g+w "$stage/usr/libexec"
    check "  nor in a folder its group may change" grep -q "^failed: .* $stage/usr/libexec no es" \
        <<<"$(grant "$stage$helper")"
    chmod g-w "$stage/usr/libexec"
    sed "s|^helper=.*|helper=$old|" "$stage/DEBIAN/preinst" >"$tmp/preinst"
    cp "$stage$helper" "$old" && setcap cap_sys_rawio+ep "$old"
    check "preinst upgrade takes the old helper's capability" stripped
fi

entry=$stage/usr/share/applications/org.velmora.Velmora.desktop
check "the desktop entry is valid" desktop-file-validate "$entry"
check "the AppStream metadata is valid" appstreamcli validate --no-net --pedantic \
    "$stage/usr/share/metainfo/org.velmora.Velmora.metainfo.xml"
check "the entry starts /usr/bin/velmora" test "$(sed -n 's/^Exec=//p' "$entry")" = /usr/bin/velmora
check "the entry names the window class Qt sets" grep -qx StartupWMClass=Velmora "$entry"

# Started as the desktop would, on a virtual display, as nobody, from /.
WAIT=100 SETTLE=50
start_xvfb
launch / setpriv --reuid=nobody --regid=nogroup --clear-groups env -i DISPLAY="$DISPLAY" \
    HOME=/tmp PATH=/usr/bin:/bin "$stage/usr/bin/velmora"
appears "started from its entry"
# (xdotool matches the class whatever its case: the check above minds it)
check "  with the class the entry names (StartupWMClass)" grep -qx "$main" <<<"$(xdotool search \
    --class "^$(sed -n 's/^StartupWMClass=//p' "$entry")\$")"
notice "  its"
open_info "  and its help window finds the help text"
finish
