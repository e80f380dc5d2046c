#!/bin/bash
# Makes the MP3 (ID3v1, ID3v2) and WMA samples of the tag reader tests with
# real tools. Needs: ffmpeg, lame, python3-mutagen (apt-get install ffmpeg
# lame python3-mutagen). Run from anywhere; writes next to this script.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A short, quiet tone: the audio only has to be real, not long.
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=0.25" -ac 1 -ar 8000 "$tmp/tone.wav"
lame --quiet -b 8 -m m --resample 8 --noreplaygain "$tmp/tone.wav" "$tmp/plain.mp3"

# No tag at all.
cp "$tmp/plain.mp3" id3_none.mp3

# ID3v1.1 only (lame writes the track number, hence version 1.1).
lame --quiet -b 8 -m m --resample 8 --noreplaygain --id3v1-only \
  --tt "Song Title" --ta "Some Artist" --tl "The Album" --ty 2004 \
  --tc "A comment" --tn 5 --tg Rock "$tmp/tone.wav" id3v1_only.mp3

# ID3v1.0: no track, so the comment may use all 30 bytes.
lame --quiet -b 8 -m m --resample 8 --noreplaygain --id3v1-only \
  --tt "Thirty byte title xxxxxxxxxxxx" --ta "Artist" \
  --tc "Comment of thirty bytes, full." "$tmp/tone.wav" id3v10.mp3

/usr/bin/python3 - "$tmp/plain.mp3" <<'PY'
import shutil, sys
from mutagen.id3 import (ID3, TIT1, TIT2, TPE1, TALB, TRCK, TYER, TDRC, TCON,
                         COMM, TCOM, TENC, TCOP, TLAN, WXXX, TOPE, TOAL, APIC)
plain = sys.argv[1]

def make(name, version, frames, padding=64):
    shutil.copy(plain, name)
    tag = ID3()
    for f in frames:
        tag.add(f)
    tag.save(name, v2_version=version, padding=lambda info: padding)

# Frames are written shortest first, so the picture (over 127 bytes, where a
# synchsafe size differs from a plain one) lies between short and long frames.
picture = APIC(encoding=0, mime="image/png", type=3, desc="", data=bytes(range(150)))
long_comment = "UTF-8 comment " + "x" * 200

# 2.3, ISO-8859-1 texts, every field the reader knows.
make("id3v23_latin1.mp3", 3, [
    TIT2(encoding=0, text="Caf\u00e9 Song"), TPE1(encoding=0, text="The Artist"),
    TALB(encoding=0, text="Album"), TRCK(encoding=0, text="3/12"),
    TYER(encoding=0, text="1999"), TCON(encoding=0, text="(17)Rock"),
    COMM(encoding=0, lang="eng", desc="", text="Latin comment"),
    TCOM(encoding=0, text="Composer"), TENC(encoding=0, text="Encoder"),
    TCOP(encoding=0, text="Copyright"), TLAN(encoding=0, text="eng"),
    WXXX(encoding=0, desc="home", url="http://example.org/"),
    TOPE(encoding=0, text="Original")])

# 2.3, UTF-16 texts with byte-order marks, a picture before the comment.
make("id3v23_utf16.mp3", 3, [
    TIT2(encoding=1, text="\u65e5\u672c \u00ff Title \U0001F3B5"), TPE1(encoding=1, text="K\u00f6nig"),
    picture,
    COMM(encoding=1, lang="eng", desc="A", text="Unicode comment " + "y" * 200)])

# 2.4, UTF-8 and UTF-16BE texts, the long comment after the picture, the year
# only in TDRC.
make("id3v24_utf8.mp3", 4, [
    TIT2(encoding=3, text="\u00dcber Song"), TPE1(encoding=2, text="Big Endian"),
    TDRC(encoding=3, text="2004-05-06"), picture,
    TCOM(encoding=3, text="After Picture"),
    COMM(encoding=3, lang="eng", desc="d", text=long_comment)])

# 2.4 with only the second-choice frames.
make("id3v24_fallback.mp3", 4, [
    TIT1(encoding=3, text="Group Title"), TOAL(encoding=3, text="Original Album"),
    TCON(encoding=3, text="Jazz")])
PY

# ID3v2.2: no tool of ours writes it any more, so the tag is put together
# byte by byte in front of the same audio.
/usr/bin/python3 - "$tmp/plain.mp3" <<'PY'
import sys
audio = open(sys.argv[1], "rb").read()
def frame(fid, data):
    return fid + len(data).to_bytes(3, "big") + data
frames = (frame(b"TT2", b"\x00Old Title") + frame(b"TP1", b"\x00Old Artist")
          + frame(b"TYE", b"\x001987")
          + frame(b"COM", b"\x00eng\x00Old comment"))
body = frames + bytes(32)
n = len(body)
size = bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
open("id3v22.mp3", "wb").write(b"ID3\x02\x00\x00" + size + body + audio)
PY

# Both tags, with different texts: ID3v1 from lame, then an ID3v2.3 tag in
# front by mutagen. mutagen would rewrite the ID3v1 tag from the ID3v2 texts,
# so it drops it and lame's tag is put back behind the audio.
lame --quiet -b 8 -m m --resample 8 --noreplaygain --id3v1-only \
  --tt "V1 Title" --ta "V1 Artist" "$tmp/tone.wav" id3_both.mp3
/usr/bin/python3 -c '
import sys
from mutagen.id3 import ID3, TIT2, TPE1
path = sys.argv[1]
v1 = open(path, "rb").read()[-128:]
assert v1[:3] == b"TAG"
t = ID3(); t.add(TIT2(encoding=0, text="V2 Title")); t.add(TPE1(encoding=0, text="V2 Artist"))
t.save(path, v2_version=3, v1=0)
open(path, "ab").write(v1)' id3_both.mp3

# WMA: mono and stereo, with content and extended descriptions.
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=0.3" -ac 1 -ar 22050 \
  -c:a wmav2 -b:a 32k -metadata title="WMA Title" -metadata artist="WMA Artist" \
  -metadata album="WMA Album" -metadata "WM/Year"="2007" -metadata genre="Pop" \
  -metadata "WM/Description"="WMA comment" -metadata "WM/Track"="7" wma_mono.wma
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=0.2" -ac 2 -ar 44100 \
  -c:a wmav2 -b:a 128k -metadata artist="Artist" \
  -metadata title="$(printf 'T%.0s' $(seq 1 300))" wma_longtitle.wma
