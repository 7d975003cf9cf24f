#!/usr/bin/env bash
# The 32 px plug, as a PNG and inside the program file's icon: 16 colours at most, the transparent
# one included, and transparent where the picture leaves the background (top corners, bottom right).
set -uo pipefail
art=$1
failed=0
for image in "$art/plug-32.png" "$art/plug.ico[1]"; do
    read -r size colours corners < <(/usr/bin/convert "$image" \
        -format '%wx%h %k %[fx:p{0,0}.a+p{31,0}.a+p{31,31}.a]\n' info:)
    if [ "$size" != 32x32 ] || [ "$colours" -gt 16 ] || [ "$corners" != 0 ]; then
        echo "FAIL $image: $size, $colours colours, corners' opacity $corners"
        failed=1
    fi
done
exit $failed
