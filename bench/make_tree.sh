#!/usr/bin/env bash
# Builds the benchmark tree: FILES files (default 200000, about 15 KB each on
# average, about 3 GB in all) in DIR, a tenth of them byte-for-byte copies of
# earlier files, some sharing a size or a first block with another file, and
# one file in twenty carrying a common name. The same arguments always give
# the same tree (names, sizes, bytes and modification times).
#   bench/make_tree.sh [--small-folders] DIR [FILES [STEP]]
# STEP (default 1) rounds every size down to a multiple of STEP. Sizes come
# from a fixed range, so a smaller tree has fewer files per size; a tree of
# FILES/10 files made with STEP 10 has as many files per size (and so as
# many files sharing a size by chance) as one of FILES files with STEP 1,
# for a fair comparison of scan times across tree sizes.
# --small-folders gives the other shape: folders of 40 files (5,000 for
# 200,000 files), sizes from 2 KB to 400 KB around 10 KB (log-normal, 16.5 KB
# on average, 3.3 GB in all), and one group of copies per 40 files (5,000):
# an earlier file and a copy of it, every sixth group a second copy.
set -euo pipefail
shape=large
[ "${1:-}" = --small-folders ] && { shape=small; shift; }
[ $# -ge 1 ] || { echo "usage: $0 [--small-folders] DIR [FILES [STEP]]" >&2; exit 2; }
dir=$1
files=${2:-200000}
step=${3:-1}
mkdir -p "$dir"
python3 - "$dir" "$files" "$step" "$shape" <<'PY'
import math, os, random, sys

root, total, step, shape = sys.argv[1], int(sys.argv[2]), max(1, int(sys.argv[3])), sys.argv[4]
rng = random.Random(20261206)
pool = random.Random(7).randbytes(64 << 20)
per_dir = 200 if shape == "large" else 40
common = ["readme.txt", "index.html", "notes.doc", "photo.jpg", "song.mp3", "setup.log", "data.bin"]
common += ["common%03d.dat" % i for i in range(300)]

def size_of():
    if shape == "small":
        # Log-normal around 10 KB, from 2 KB to 400 KB: mean about 16.5 KiB.
        return min(400 << 10, max(2 << 10, int(rng.lognormvariate(math.log(10000), 1.0)))) // step * step
    # Log-uniform from 512 bytes to 64 KiB: mean about 13.5 KiB.
    return int(512 * (128 ** rng.random())) // step * step

def content(seed, size, shared_head=None):
    # A unique 16-byte stamp, then bytes from the pool at a seeded offset.
    r = random.Random(seed)
    off = r.randrange(0, len(pool) - size)
    body = b"corvane%09d" % seed + pool[off:off + size]
    body = body[:size]
    if shared_head is not None and size > 8192:
        body = shared_head[:4096] + body[4096:]
    return body

made = []          # (seed, size) of originals
# The small shape: copies at fixed places, each of an earlier file not yet
# copied (a new group) or, one in six, of a group's file copied once.
groups, copies = [], set()
if shape == "small":
    copies = set(random.Random(5).sample(range(total // 20, total), total // 40 * 6 // 5))
copied = set()
for i in range(total):
    d = os.path.join(root, "d%03d" % (i // (per_dir * 100 if shape == "small" else per_dir * 50)),
                     "s%05d" % (i // per_dir))
    if i % per_dir == 0:
        os.makedirs(d, exist_ok=True)
    roll = rng.random()
    if shape == "small":
        if i in copies:
            twice = [g for g in groups[-50:] if g[2] == 1]
            if len(groups) >= total // 40 or (twice and rng.random() < 1 / 6):
                g = rng.choice(twice or groups)
            else:
                while True:
                    k = rng.randrange(len(made))
                    if k not in copied:
                        break
                copied.add(k)
                g = [made[k][0], made[k][1], 0]
                groups.append(g)
            g[2] += 1
            seed, size = g[0], g[1]
            data = content(seed, size)
            name = "copy%07d.dat" % i
        else:
            seed, size = i, size_of()
            data = content(seed, size)
            made.append((seed, size))
            name = "f%07d.dat" % i
    elif roll < 0.10 and made:
        seed, size = made[rng.randrange(len(made))]
        data = content(seed, size)
        name = "copy%07d.dat" % i
    else:
        seed, size = i, size_of()
        if roll < 0.12 and made:
            # Same size as an earlier file; half of these share its first block.
            s2, size = made[rng.randrange(len(made))]
            data = content(seed, size, content(s2, size) if roll < 0.11 else None)
        else:
            data = content(seed, size)
        made.append((seed, size))
        name = "f%07d.dat" % i
    if rng.random() < 0.05:
        name = common[rng.randrange(len(common))]
    p = os.path.join(d, name)
    with open(p, "wb") as f:
        f.write(data)
    t = 1600000000 + rng.randrange(0, 100000000)
    os.utime(p, (t, t))
PY
echo "made $files files in $dir: $(du -sh "$dir" | cut -f1)"
