#!/usr/bin/env bash
# Builds Velmora (installing what is missing) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
# Only what building and running need: the tests' tools are ./test.sh's.
tools/install-deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run --target velmora

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
There is no display to show Velmora's window on (DISPLAY and WAYLAND_DISPLAY are empty).
Start it from a desktop session, or run it on a virtual display:
    xvfb-run -s '-screen 0 1024x768x24' ./run.sh
MSG
    exit 1
fi

# Started where its help text lies, as the desktop entry does once installed.
cd build/run/app
exec ./velmora
