#!/usr/bin/env bash
# Takes the README's screenshot of the real main window, on a virtual X display.
# Usage: tools/screenshot.sh [output.png]   (default: docs/velmora.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/velmora.png}")
velmora="$root/build/default/app/velmora"
[ -x "$velmora" ] || { echo "Build first: ./run.sh or cmake --build --preset default" >&2; exit 1; }

if [ -z "${VELMORA_IN_XVFB:-}" ]; then
    VELMORA_IN_XVFB=1 exec xvfb-run -a -s '-screen 0 800x600x24' "$0" "$out"
fi

cd "$root/information_window" 2>/dev/null || cd "$root"
"$velmora" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

# Without hardware access the program explains, in a message box, that it uses a simulated
# port; dismiss it so that the shot shows the main window alone.
xdotool search --sync --onlyvisible --name '^Velmora$' >/dev/null
sleep 1
main=
for w in $(xdotool search --onlyvisible --name '^Velmora$'); do
    if xdotool getwindowgeometry "$w" | grep -q 'Geometry: 296x326'; then
        main=$w
    else
        xdotool windowfocus --sync "$w" key Return || true
    fi
done
[ -n "$main" ] || { echo "The main window did not appear" >&2; exit 1; }
sleep 0.5
import -window "$main" "$out"
echo "Saved $out"
