#!/usr/bin/env bash
# Re-render Velmora's artwork from the SVG sources.
#
#   port_test_window/art/plug.svg         -> plug-{32,48,64,128,256}.png
#   port_test_window/art/plug-16.svg      -> plug-16.png
#   port_test_window/art/plug-*.png       -> plug.ico (Windows program icon)
#   port_test_window/art/question.svg     -> question-{16,32,48}.png
#   information_window/art/printer.svg    -> printer-{32,48}.png
#   information_window/art/printer-16.svg -> printer-16.png
#   information_window/art/connector.svg  -> connector.jpg (530x269)
#
# The rendered files are kept in the repository next to their sources; run
# this after editing an SVG and commit both.  Can be run from any directory.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

RSVG=rsvg-convert
CONVERT=/usr/bin/convert   # ImageMagick; named explicitly on purpose

missing=()
command -v "$RSVG" >/dev/null 2>&1 || missing+=("rsvg-convert (Debian package: librsvg2-bin)")
[[ -x "$CONVERT" ]] || missing+=("$CONVERT (Debian package: imagemagick)")
if ((${#missing[@]})); then
    echo "render-art.sh: missing tools:" >&2
    printf '  %s\n' "${missing[@]}" >&2
    echo "install them with: sudo apt-get install librsvg2-bin imagemagick" >&2
    exit 1
fi

tmpdir="$(mktemp -d)"
trap 'rm -rf "$tmpdir"' EXIT

# png SVG SIZE OUT: square PNG with transparent background, no metadata
png() {
    local svg=$1 size=$2 out=$3
    "$RSVG" --width="$size" --height="$size" --format=png "$svg" -o "$tmpdir/out.png"
    "$CONVERT" "$tmpdir/out.png" -strip "PNG32:$out"
    echo "  $out"
}

echo "rendering in $repo_root"

art="$repo_root/port_test_window/art"
png "$art/plug-16.svg" 16 "$art/plug-16.png"
for size in 32 48 64 128 256; do
    png "$art/plug.svg" "$size" "$art/plug-$size.png"
done
# The Windows build's program icon: every plug size in one .ico.
"$CONVERT" "$art"/plug-{16,32,48,64,128,256}.png "$art/plug.ico"
echo "  $art/plug.ico"
for size in 16 32 48; do
    png "$art/question.svg" "$size" "$art/question-$size.png"
done

art="$repo_root/information_window/art"
png "$art/printer-16.svg" 16 "$art/printer-16.png"
for size in 32 48; do
    png "$art/printer.svg" "$size" "$art/printer-$size.png"
done

# Pin-out picture: baseline JPEG, 530x269, 8-bit RGB on white, no alpha.
"$RSVG" --width=530 --height=269 --background-color=white --format=png \
    "$art/connector.svg" -o "$tmpdir/connector.png"
"$CONVERT" "$tmpdir/connector.png" \
    -background white -alpha remove -alpha off \
    -colorspace sRGB -type TrueColor -depth 8 \
    -interlace none -sampling-factor 1x1 -quality 92 -strip \
    "JPEG:$art/connector.jpg"
echo "  $art/connector.jpg"
