#!/usr/bin/env bash
# Builds Velmora and runs every test headless (installing what is missing): once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

for preset in default asan; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
