#!/usr/bin/env bash
# Installs the Debian packages Velmora needs, if any is missing. Uses sudo when not run as root.
#
#   tools/install-deps.sh run   what building and running the program needs (./run.sh)
#   tools/install-deps.sh       that and everything the tests, the benchmarks, the package and
#                               the Windows build need (./test.sh)
set -euo pipefail

case "${1:-all}" in
run | all) set_name=${1:-all} ;;
*)
    echo "usage: $0 [run]" >&2
    exit 2
    ;;
esac

run_packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    # Qt's own buttons and menus in Spanish (qtbase_es.qm), loaded at start.
    qt6-translations-l10n
    # The font the windows' fixed layout is measured in.
    fonts-liberation
    # Printing through CUPS.
    libcups2-dev
    # The port helper confines itself with seccomp.
    libseccomp-dev
    # `velmora ports` names PCI cards from the PCI ID database, when it is there.
    pci.ids
)

test_packages=(
    # The layout of the C++ files, checked against .clang-format (tools/format-check.sh).
    clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool imagemagick
    locales
    # Printing, tested end to end through a print server of the tests' own.
    cups-daemon cups-client poppler-utils
    # The Debian package and the check of its desktop entry and metadata.
    dpkg-dev desktop-file-utils appstream lintian
    # The port drivers against an emulated parallel port (tools/qemu-port-test.sh), and the
    # Windows build with its runs under wine (tools/windows-test.sh).
    qemu-system-x86 busybox-static cpio
    g++-mingw-w64-x86-64 wine64
    # The whole program for Windows (tools/windows-test.sh): Qt built from Debian's source
    # (tools/qt-mingw.sh), and the installer.
    nsis
    # The fuzzers: clang, and libFuzzer, which comes with clang's runtime libraries.
    clang libclang-rt-14-dev
    # The real program driven end to end: the clipboard read back, and a window closed politely.
    xclip libxcb1-dev
    # The real consumer of the watch's Value Change Dump files, which the timing tests feed it.
    sigrok-cli
)

packages=("${run_packages[@]}")
[ "$set_name" = run ] || packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The number texts are tested under Spanish regional settings too.
if [ "$set_name" = all ] && ! locale -a 2>/dev/null | grep -qi '^es_ES\.utf-\?8$'; then
    as_root localedef -i es_ES -f UTF-8 es_ES.UTF-8
fi
