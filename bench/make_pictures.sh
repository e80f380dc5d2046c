#!/bin/bash
# Writes COUNT JPEG pictures of 1632 x 1224 into DIR for the similar-picture
# benchmark: COUNT - 10 distinct plasma pictures and 10 copies of some of
# them shrunk to 1600 x 1200 (same 4:3 proportion). Names are shuffled so
# the shrunk copies fall anywhere in the walk. Deterministic; needs
# ImageMagick's convert.
#   bench/make_pictures.sh /work/benchdata/pictures 500
set -eu
Dir=${1:?usage: make_pictures.sh DIR [COUNT]}
Count=${2:-500}
Resized=10
mkdir -p "$Dir"
# A name from the index that does not sort in index order.
name() { printf 'p%04d.jpg' $(( ($1 * 7919) % 10007 )); }
make_one() {
    convert -size 1632x1224 -seed "$1" plasma:fractal -quality 90 "$2"
}
export -f make_one
Originals=$(( Count - Resized ))
for ((I = 0; I < Originals; ++I)); do echo "$I $Dir/$(name "$I")"; done |
    xargs -P "$(nproc)" -n 2 bash -c 'make_one "$0" "$1"'
Step=$(( Originals / Resized ))
for ((K = 0; K < Resized; ++K)); do
    From=$(( K * Step ))
    convert "$Dir/$(name "$From")" -resize 1600x1200! -quality 90 "$Dir/$(name $(( Originals + K )))"
done
ls "$Dir" | wc -l
