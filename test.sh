#!/usr/bin/env bash
# Builds Velmora and runs every test headless (installing what is missing): once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes for a bounded time.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

# The layout first: it takes seconds, and says at once what a formatter would change.
echo "== format"
tools/format-check.sh

# The Debian package, unpacked into a staging root and started from its desktop entry.
echo "== debian package"
tools/package-test.sh

# The whole program for Windows against Qt for MinGW (built once into a cache outside the tree),
# its unit tests and the installed program under wine.
echo "== windows program"
tools/windows-test.sh

for preset in default asan; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

# The number texts and the information file reader under libFuzzer, 30 seconds each, one after the other.
echo "== fuzzing"
tools/fuzz.sh 30
