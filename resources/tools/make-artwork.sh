#!/usr/bin/env bash
# Redraws every picture under resources/images and the wait window's animation.
# Needs ImageMagick's convert for the GIF; the output is committed, so builds
# do not need it.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build-artwork}
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target corvane_drawartwork
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
QT_QPA_PLATFORM=offscreen "$build/resources-tools/corvane_drawartwork" "$top/resources/images" "$frames"
# Seven frames of 200 ms, the last 500 ms, looping for ever.
convert -delay 20 "$frames"/LiveUpdate_0.png "$frames"/LiveUpdate_1.png "$frames"/LiveUpdate_2.png \
  "$frames"/LiveUpdate_3.png "$frames"/LiveUpdate_4.png "$frames"/LiveUpdate_5.png \
  -delay 50 "$frames"/LiveUpdate_6.png -loop 0 +dither -colors 128 "$top/resources/animations/LiveUpdate.gif"
echo "Pictures written to $top/resources/images and $top/resources/animations"
