#!/usr/bin/env bash
# Re-render Velmora's artwork from the SVG sources.
#
#   port_test_window/art/plug.svg         -> plug-32.png (16 colours: see png16), plug-{48,64,128,256}.png
#   port_test_window/art/plug-16.svg      -> plug-16.png
#   port_test_window/art/plug-*.png       -> plug.ico (Windows program icon; its 32 px image in 16
#                                            colours, 4 bits a pixel with a transparency mask)
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

# png16 SVG SIZE OUT: the same, in at most 16 colours: each pixel takes the nearest of the colours
# the SVG names (no dithering, so the flat faces stay flat), and is either opaque or transparent.
# The palette is the SVG's own colours, so the SVG must name no more than 15 (one index is left
# for the transparent pixels).
png16() {
    local svg=$1 size=$2 out=$3
    local colours=()
    mapfile -t colours < <(grep -o '#[0-9a-fA-F]\{6\}' "$svg" | sort -u | sed 's/^/xc:/')
    if ((${#colours[@]} > 15)); then
        echo "render-art.sh: $svg names ${#colours[@]} colours; a 16-colour icon takes 15" >&2
        exit 1
    fi
    "$CONVERT" -size 1x1 "${colours[@]}" +append "$tmpdir/palette.png"
    "$RSVG" --width="$size" --height="$size" --format=png "$svg" -o "$tmpdir/out.png"
    "$CONVERT" "$tmpdir/out.png" \
        \( +clone -alpha off +dither -remap "$tmpdir/palette.png" \) \
        \( "$tmpdir/out.png" -alpha extract -threshold 50% \) \
        -delete 0 -alpha off -compose CopyOpacity -composite -strip "PNG8:$out"
    echo "  $out ($("$CONVERT" "$out" -format %k info:) colours, the transparent one included)"
}

# ico16 ICO SIZE RGBA: replaces the ICO's SIZE px image by the same pixels (raw RGBA, each either
# opaque or transparent) as a 16-colour bitmap: 4 bits a pixel and the mask of the transparent
# ones. ImageMagick writes such an image only without its mask, that is, with no transparency.
ico16() {
    python3 - "$@" <<'PYTHON'
import struct, sys

ico_path, size, rgba_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rgba = open(rgba_path, "rb").read()
pixels = [rgba[i : i + 4] for i in range(0, len(rgba), 4)]
assert len(pixels) == size * size
palette = sorted({p[:3] for p in pixels if p[3] >= 128})
if len(palette) > 16:
    sys.exit(f"render-art.sh: {len(palette)} colours in the {size} px icon; 16 at most")
palette += [b"\0\0\0"] * (16 - len(palette))
colours, mask = bytearray(), bytearray()
for y in reversed(range(size)):  # a bitmap's rows go from the bottom up
    row = pixels[y * size : (y + 1) * size]
    indices = [palette.index(p[:3]) if p[3] >= 128 else 0 for p in row]
    colours += bytes(indices[x] << 4 | indices[x + 1] for x in range(0, size, 2))
    bits = bytearray((size + 31) // 32 * 4)  # mask rows are padded to 4 bytes; 1 is transparent
    for x, p in enumerate(row):
        if p[3] < 128:
            bits[x // 8] |= 0x80 >> (x % 8)
    mask += bits
header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
bitmap = header + b"".join(bytes(reversed(c)) + b"\0" for c in palette) + colours + mask

data = open(ico_path, "rb").read()
count = struct.unpack("<H", data[4:6])[0]
entries, images = [], []
for i in range(count):
    entry = list(struct.unpack("<BBBBHHII", data[6 + 16 * i : 22 + 16 * i]))
    image = data[entry[7] : entry[7] + entry[6]]
    if entry[0] == size:
        entry[2:6], image = [16, 0, 1, 4], bitmap
    entries.append(entry)
    images.append(image)
out, offset = bytearray(data[:6]), 6 + 16 * count
for entry, image in zip(entries, images):
    entry[6], entry[7] = len(image), offset
    out += struct.pack("<BBBBHHII", *entry)
    offset += len(image)
open(ico_path, "wb").write(out + b"".join(images))
PYTHON
}

echo "rendering in $repo_root"

art="$repo_root/port_test_window/art"
png "$art/plug-16.svg" 16 "$art/plug-16.png"
png16 "$art/plug.svg" 32 "$art/plug-32.png"
for size in 48 64 128 256; do
    png "$art/plug.svg" "$size" "$art/plug-$size.png"
done
# The Windows build's program icon: every plug size in one .ico.
"$CONVERT" "$art"/plug-{16,32,48,64,128,256}.png "$art/plug.ico"
"$CONVERT" "$art/plug-32.png" -depth 8 "RGBA:$tmpdir/plug-32.rgba"
ico16 "$art/plug.ico" 32 "$tmpdir/plug-32.rgba"
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
