#!/usr/bin/env bash
# Makes the fuzz seeds under tests/fuzz/seeds/: small files in the layouts
# real writers use and the fixtures do not cover, so that the fuzzers start
# from them as well as from the fixtures. Not run by CI (the files are
# committed); needs ffmpeg and python3. Sources are synthetic and the muxers
# bit-exact, so reruns give the same bytes.
set -euo pipefail
source "$(dirname "$0")/media-common.sh" tests/fuzz/seeds
x264=(-c:v libx264 -preset veryfast -crf 40 -threads 1 -pix_fmt yuv420p)
video() { echo testsrc2=s=$1:r=$2:d=$3; }
tone() { echo sine=f=440:d=$1:sample_rate=8000; }

# Movie fragments, as streaming servers and cameras write them: an empty
# "moov" (durations 0), fragments per key frame; the same in the ISMV
# layout, whose "moov" gives an unknown (all ones) 64-bit duration; and the
# first fragment's samples kept in "moov".
ff -f lavfi -i "$(video 64x48 10 2)" -f lavfi -i "$(tone 2)" "${x264[@]}" -g 5 -c:a aac -b:a 16k "${exact[@]}" \
   -movflags frag_keyframe+empty_moov "$out/frag-empty-moov.mp4"
ff -f lavfi -i "$(video 64x48 10 2)" -f lavfi -i "$(tone 2)" "${x264[@]}" -g 5 -c:a aac -b:a 16k "${exact[@]}" \
   -f ismv "$out/frag-ismv.mp4"
ff -f lavfi -i "$(video 64x48 10 2)" -f lavfi -i "$(tone 2)" "${x264[@]}" -g 5 -c:a aac -b:a 16k "${exact[@]}" \
   -movflags frag_keyframe "$out/frag-samples-in-moov.mp4"

# Many tracks: two videos, three audios (AAC, AMR-NB taken from a fixture,
# AAC) and a text track.
ff -f lavfi -i "$(video 64x48 10 1)" -f lavfi -i "$(video 32x32 5 1)" -f lavfi -i "$(tone 1)" \
   -t 1 -i "$here/tests/fixtures/h263-amrnb.3gp" -f lavfi -i "sine=f=220:d=1:sample_rate=16000" \
   -map 0 -map 1 -map 2 -map 3:a -map 4 "${x264[@]}" -c:a:0 aac -b:a:0 16k -c:a:1 copy \
   -c:a:2 aac -b:a:2 16k "${exact[@]}" -f 3gp "$work/many.3gp"
printf '1\n00:00:00,000 --> 00:00:00,900\nsubtitle\n' > "$work/sub.srt"
ff -i "$work/many.3gp" -i "$work/sub.srt" -map 0 -map 1 -c copy -c:s mov_text "${exact[@]}" -f 3gp "$out/many-tracks.3gp"

# Odd edit lists: audio delayed by an empty edit, video starting inside its
# media (a cut without re-encoding), both in one file.
ff -f lavfi -i "$(video 64x48 10 3)" -itsoffset 0.7 -f lavfi -i "$(tone 2)" "${x264[@]}" -g 10 -c:a aac -b:a 16k \
   "${exact[@]}" "$work/delayed.mp4"
ff -ss 1.15 -i "$work/delayed.mp4" -c copy "${exact[@]}" "$out/edit-lists-cut-and-delay.mp4"

# "moov" at the end with time tables over 4 KB: 2,100 frames of variable
# rate, every other one a key frame (decoding-time and sync tables of
# several windows each).
ff -f lavfi -i "$(video 16x16 25 84)" -vf "settb=1/1000,setpts='(N+0.37*mod(N\,3))/(25*TB)'" -fps_mode vfr \
   -enc_time_base:v 1/1000 -g 2 -keyint_min 2 -sc_threshold 0 "${x264[@]}" -bf 0 -video_track_timescale 1000 "${exact[@]}" \
   "$out/moov-last-long-tables.mp4"

# Vendor boxes in "udta", as phones write them beside the 3GPP asset boxes:
# put into the "udta" of an ffmpeg 3GP file with titles.
ff -f lavfi -i "$(video 64x48 10 1)" -f lavfi -i "$(tone 1)" -c:v h263 -s 128x96 -c:a aac -b:a 16k \
   -metadata title=Title -metadata author=Author "${exact[@]}" "$work/assets.3gp"
python3 - "$work/assets.3gp" "$out/udta-vendor-boxes.3gp" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
def box(kind, payload):
    return struct.pack('>I4s', 8 + len(payload), kind) + payload
# Boxes of vendors' own types, as handsets and cameras leave them: a manufacturer
# string, a UUID box, a full box with flags and a nested container.
vendor = (box(b'\xa9mak', struct.pack('>HH', 6, 0) + b'Vendor') +
          box(b'uuid', bytes(range(16)) + b'vendor-data') +
          box(b'smta', b'\x00\x00\x00\x00' + box(b'saut', b'\x00' * 6)) +
          box(b'mdln', b'\x00\x00\x00\x00' + b'Model 1\x00') +
          box(b'loci', b'\x00\x00\x00\x00\x15\xc7' + b'Here\x00' + b'\x00' + b'\x00' * 12 + b'Earth\x00\x00'))
def find(start, end, kind):
    pos = start
    while pos + 8 <= end:
        size, k = struct.unpack('>I4s', data[pos:pos + 8])
        if k == kind: return pos, size
        pos += size
    raise SystemExit('no ' + kind.decode())
moov, moov_size = find(0, len(data), b'moov')
udta, udta_size = find(moov + 8, moov + moov_size, b'udta')
data[udta + udta_size:udta + udta_size] = vendor
struct.pack_into('>I', data, udta, udta_size + len(vendor))
struct.pack_into('>I', data, moov, moov_size + len(vendor))
# The media follows "moov": shift the chunk offsets that point past it.
pos = moov
def fix(start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack('>I4s', data[pos:pos + 8])
        if kind in (b'trak', b'mdia', b'minf', b'stbl'): fix(pos + 8, pos + size)
        if kind == b'stco':
            count = struct.unpack('>I', data[pos + 12:pos + 16])[0]
            for i in range(count):
                at = pos + 16 + 4 * i
                offset = struct.unpack('>I', data[at:at + 4])[0]
                if offset > moov: struct.pack_into('>I', data, at, offset + len(vendor))
        pos += size
fix(moov + 8, moov + moov_size + len(vendor))
open(sys.argv[2], 'wb').write(data)
PY
ls -l "$out"
