#!/usr/bin/env bash
# Builds Velmora for 64-bit Windows: Qt for MinGW first if the cache lacks it (tools/qt-mingw.sh),
# then the program and its tests with the `mingw64` preset, the folder of everything it needs
# (build/mingw64/deploy) and the installer, build/mingw64/Velmora-1.0.0.0-instalar.exe.
# Usage: tools/windows-build.sh
set -euo pipefail
cd "$(dirname "$0")/.."

VELMORA_QT_MINGW=$(tools/qt-mingw.sh)
export VELMORA_QT_MINGW

echo "== windows: the program and its tests, against $VELMORA_QT_MINGW"
started=$SECONDS
cmake --preset mingw64 >/dev/null
nice -n 5 cmake --build --preset mingw64
echo "windows: program and tests built in $((SECONDS - started)) s"

echo "== windows: installer"
started=$SECONDS
cmake --build --preset mingw64 --target installer
installer=$(ls build/mingw64/Velmora-*-instalar.exe)
echo "windows: $installer, $(du -k "$installer" | cut -f1) KiB, made in $((SECONDS - started)) s" \
    "from build/mingw64/deploy ($(du -sk build/mingw64/deploy | cut -f1) KiB)"
