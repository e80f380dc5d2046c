#!/usr/bin/env bash
# Makes the small Ogg Vorbis, FLAC and RealMedia samples of the tag reader
# tests. Needs ffmpeg, vorbis-tools and flac (only to make them: the samples
# are committed). Run from anywhere; writes next to this script.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Half a second of a 440 Hz tone, mono, 8 kHz: a few KB in every format.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.5" \
  -ac 1 -fflags +bitexact -flags +bitexact -map_metadata -1 "$work/tone.wav"
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "color=c=blue:s=8x8" -frames:v 1 "$work/cover.png"

# Ogg Vorbis. oggenc writes the names it is given in lower case.
oggenc -Q -q 0 -s 1 -t "Song One" -a "Artist A" -d 2001 -l "Café Album" \
  -c "COMMENT=Hello" -c "tracknumber=4/10" -c "MOOD=calm" -o vorbis_tags.ogg "$work/tone.wav"
oggenc -Q -q 0 -s 2 -t "  Padded Title  " -c "PERFORMER=Perf Only" -c "DESCRIPTION=Desc Only" \
  -c "TITLE=First Title Loses" -o vorbis_padded.ogg "$work/tone.wav"
oggenc -Q -q 0 -s 3 -o vorbis_notags.ogg "$work/tone.wav"
# A comment packet longer than one page can hold (65,025 bytes) goes on over
# a second page; the title written after the long comment lies there.
oggenc -Q -q 0 -s 4 -c "LYRICS=$(head -c 70000 /dev/zero | tr '\0' 'x')" -t "After Long" \
  -a "Long Artist" -o vorbis_longcomment.ogg "$work/tone.wav"

# FLAC. Small padding keeps the files small.
flac -s -f --padding=16 -T "TITLE=Song One" -T "ARTIST=Artist A" -T "DATE=2001" -T "COMMENT=Hello" \
  -T "ALBUM=Café Album" -o flac_tags.flac "$work/tone.wav"
flac -s -f --padding=16 -T "TITLE=  Padded Title  " -T "TITLE=Second Title" -T "ARTIST=Artist B" \
  -T "X-CUSTOM=extra" -o flac_picture.flac "$work/tone.wav"
metaflac --import-picture-from="$work/cover.png" flac_picture.flac
flac -s -f --no-padding -o flac_streaminfo_only.flac "$work/tone.wav"
metaflac --remove-all --dont-use-padding flac_streaminfo_only.flac

# RealMedia: RealAudio 1.0 (14.4K) audio, and one with a RealVideo stream too.
ffmpeg -hide_banner -loglevel error -y -i "$work/tone.wav" -c:a real_144 -fflags +bitexact \
  -metadata title="RM Title" -metadata author="RM Author" -metadata copyright="(c) 2003" \
  -metadata comment="RM Comment" -f rm rm_tags.rm
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "color=c=red:s=16x16:d=0.2:r=5" -i "$work/tone.wav" \
  -c:v rv10 -c:a real_144 -shortest -fflags +bitexact -metadata title="  Two Streams  " \
  -metadata author="Author B" -f rm rm_two_streams.rm
ffmpeg -hide_banner -loglevel error -y -i "$work/tone.wav" -c:a real_144 -fflags +bitexact -f rm rm_notags.rm

ls -l vorbis_*.ogg flac_*.flac rm_*.rm

# A WMA title with blanks around it, for the trimming of the music tag list.
ffmpeg -hide_banner -loglevel error -y -i "$work/tone.wav" -c:a wmav2 -b:a 32k -fflags +bitexact \
  -metadata title="  Padded WMA  " -metadata artist="WMA Artist" -f asf tags_padded.wma
ls -l tags_padded.wma
