#!/usr/bin/env bash
# Velmora started with a display that is set but not there, X or Wayland, as over ssh without X
# forwarding: status 1 and our one message naming the display, never Qt's abort.
set -uo pipefail
program=$1
failed=0
free=99
while [ -e "/tmp/.X11-unix/X$free" ] || [ -e "/tmp/.X$free-lock" ]; do free=$((free + 1)); done
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT

while IFS='|' read -r what variables shown; do
    err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
        XDG_RUNTIME_DIR="$runtime" $variables timeout 30 "$program" 2>&1 >/dev/null)
    status=$?
    expected="Velmora no puede abrir la pantalla gráfica $shown: no responde o no admite la conexión."
    if [ "$status" -ne 1 ] || [ "$(head -n 1 <<<"$err")" != "$expected" ] || [ "$(wc -l <<<"$err")" -ne 2 ]; then
        echo "FAIL $what: status $status, said:"
        echo "$err"
        failed=1
    else
        echo "ok   $what"
    fi
done <<EOT
X display that is not there|DISPLAY=:$free|«:$free» (DISPLAY)
Wayland display that is not there|WAYLAND_DISPLAY=velmora-nada XDG_SESSION_TYPE=wayland|«velmora-nada» (WAYLAND_DISPLAY)
EOT
exit $failed
