#!/usr/bin/env bash
# Cross-compiles the Qt-free port drivers and their console test for 64-bit Windows with Debian's
# mingw-w64, then runs the test under wine when wine64 is installed (tools/install-deps.sh
# installs both). The test loads stand-in port libraries of its own; the real one is never here,
# so the binding must also fall back to the simulated port and say what is missing.
# Usage: tools/windows-port-test.sh [build folder, default build/windows]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}

cmake -S "$root/port/tests/windows" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/tools/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"

wine=
for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
        wine=$candidate
        break
    fi
done
if [ -z "$wine" ]; then
    echo "windows: built $build/windows_port_test.exe; wine64 is not installed, so it was not run"
    exit 0
fi

echo "== windows console test under $(basename "$wine")"
# A prefix of its own inside the build folder; no Mono or Gecko prompts, no wine chatter.
cd "$build"
WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$wine" windows_port_test.exe 2> >(grep -v -e 'wine: ' -e '^$' >&2 || true)
