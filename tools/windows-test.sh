#!/usr/bin/env bash
# Velmora's Windows build under wine, on a virtual display of its own: builds it (and Qt for
# MinGW, when the cache lacks it) with tools/windows-build.sh, whose installer target first checks
# that every DLL the deploy folder's programs and plugins import is in it or Windows' own; makes
# the build's wine prefix once and runs there, from the build tree, the unit tests that are not
# Linux-specific (ctest, preset mingw64); then installs the real program into a fresh prefix and
# starts it as a new user would, with nothing of the build reachable (e2e/velmora_wine_e2e.sh).
# Usage: tools/windows-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/mingw64

tools/windows-build.sh

tmp=$(mktemp -d /tmp/velmora-wine.XXXXXX)
xvfb='' wineserver=''
cleanup() {
    [ -n "$wineserver" ] && WINEPREFIX=$build/wine "$wineserver" -k 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { cat "$tmp/xvfb.log"; echo "windows: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$tmp/display")

# Set-up, once, for the unit tests: the build's prefix (made by the first run of wine-run.sh) and
# a wine server that stays up between the programs, so that no test pays for either.
echo "== windows: wine prefix of the build"
started=$SECONDS
"$build/wine-run.sh" cmd /c exit 0
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# The server of that first run ends a few seconds after it; a persistent one starts only then.
WINEPREFIX=$build/wine "$wineserver" -w
WINEPREFIX=$build/wine "$wineserver" -p
# Wine's own services start with the first program a server runs, which takes longer than
# CTest's five seconds for listing a suite's tests: a program is run for them here.
"$build/wine-run.sh" cmd /c exit 0
echo "windows: wine ready in $((SECONDS - started)) s"

echo "== windows: unit tests under wine"
ctest --preset mingw64

echo "== windows: velmora.exe from the installer, in a fresh wine prefix"
e2e/velmora_wine_e2e.sh "$build"
