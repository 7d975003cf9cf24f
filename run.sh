#!/usr/bin/env bash
# Builds Velmora (installing what is missing) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target velmora

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
There is no display to show Velmora's window on (DISPLAY and WAYLAND_DISPLAY are empty).
Start it from a desktop session, or run it on a virtual display:
    xvfb-run -s '-screen 0 1024x768x24' ./run.sh
MSG
    exit 1
fi

# Started where its help text lies, as the desktop entry does once installed.
cd build/default/app
exec ./velmora
