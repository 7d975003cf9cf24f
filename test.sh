#!/usr/bin/env bash
# Builds Velmora and runs every test headless (installing what is missing): once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

# The Debian package, unpacked into a staging root and started from its desktop entry.
echo "== debian package"
tools/package-test.sh

# The port drivers for Windows, cross-compiled with mingw-w64 and run under wine.
echo "== windows cross build"
tools/windows-port-test.sh

for preset in default asan; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
