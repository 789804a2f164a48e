#!/usr/bin/env bash
# Makes the real movie files under tests/fixtures/ and their .facts files.
# Not run by CI: the generated files are committed, so tests never need these
# tools. Needs ffmpeg/ffprobe, gst-launch-1.0 (plugins good/bad/base/libav),
# python3, g++ and the opencore-amrnb and vo-amrwbenc development packages.
#
# Sources are synthetic (testsrc2, sine, aevalsrc) and muxers run bit-exact
# without metadata unless metadata is the point, so reruns give the same bytes
# (the GStreamer file is the exception: mp4mux stamps the creation time).
set -euo pipefail
source "$(dirname "$0")/media-common.sh" tests/fixtures
# Metadata only when asked.
nometa=(-map_metadata -1)
x264=(-c:v libx264 -preset veryfast -crf 32 -threads 1 -pix_fmt yuv420p)

g++ -std=c++17 -O2 -Wall -Wextra -o "$work/amrenc" "$here/tools/amrenc/amrenc.cpp" \
    -lopencore-amrnb -lvo-amrwbenc

# Speech-band test signal with a silent middle second, so DTX has something to
# do (SID and NO_DATA frames appear between the speech frames).
pcm() { # rate seconds file
  ff -f lavfi -i "aevalsrc='if(between(t,1,2),0,0.4*sin(2*PI*(300+150*t)*t))':s=$1:d=$2" \
     -f s16le -ac 1 "$3"
}

# 1. H.264 with B-frames (ctts, stss) + stereo AAC-LC 44.1 kHz; moov after mdat.
ff -f lavfi -i testsrc2=s=176x144:r=15:d=3 -f lavfi -i sine=f=440:d=3:sample_rate=44100 \
   "${x264[@]}" -bf 2 -g 15 -c:a aac -b:a 48k -ac 2 "${exact[@]}" "${nometa[@]}" \
   "$out/h264-aac-bframes.mp4"

# 2. H.263 QCIF + AMR-NB 7.95 kbit/s (mode 5) with DTX, 8 kHz mono; 3GPP brand, moov first.
pcm 8000 3 "$work/nb8k.raw"
"$work/amrenc" nb 5 1 "$work/nb8k.raw" "$work/nb-mode5.amr"
ff -f lavfi -i testsrc2=s=176x144:r=10:d=3 -i "$work/nb-mode5.amr" \
   -c:v h263 -q:v 10 -c:a copy "${exact[@]}" "${nometa[@]}" -movflags +faststart \
   "$out/h263-amrnb.3gp"

# 3. MPEG-4 part 2 + AMR-WB 12.65 kbit/s (mode 2) with DTX, 16 kHz mono.
pcm 16000 3 "$work/wb16k.raw"
"$work/amrenc" wb 2 1 "$work/wb16k.raw" "$work/wb-mode2.awb"
ff -f lavfi -i testsrc2=s=176x144:r=12:d=3 -i "$work/wb-mode2.awb" \
   -c:v mpeg4 -q:v 10 -g 12 -c:a copy "${exact[@]}" "${nometa[@]}" \
   "$out/mpeg4-amrwb.3gp"

# 4. Motion JPEG, sample entry "mjpg" (QuickTime file, brand "qt  "), video only.
#    The mov muxer lists no "mjpg" tag, so it only accepts it with -strict unofficial.
ff -f lavfi -i testsrc2=s=160x120:r=10:d=1 -c:v mjpeg -q:v 12 -pix_fmt yuvj420p -tag:v mjpg -strict unofficial \
   "${exact[@]}" "${nometa[@]}" "$out/mjpeg.mov"

# 5. Video starting 0.5 s late: elst = empty edit (media_time -1) + one normal edit.
#    Passthrough keeps ffmpeg from filling the gap with repeated frames instead.
ff -itsoffset 0.5 -f lavfi -i testsrc2=s=128x96:r=10:d=2 -f lavfi -i sine=f=660:d=2.5:sample_rate=22050 \
   "${x264[@]}" -bf 0 -g 10 -fps_mode:v passthrough -c:a aac -b:a 32k -ac 1 "${exact[@]}" "${nometa[@]}" \
   -movflags +faststart "$out/late-video-edit.mp4"

# 6. iTunes-style item list (moov/udta/meta/ilst) with a non-ASCII title.
ff -f lavfi -i testsrc2=s=128x96:r=10:d=1 -f lavfi -i sine=f=550:d=1:sample_rate=32000 \
   "${x264[@]}" -bf 0 -c:a aac -b:a 32k -ac 1 "${exact[@]}" "${nometa[@]}" \
   -metadata title="Tëst Ünïcode" -metadata artist="Fixture Artist" \
   -metadata album="Fixture Album" -metadata genre="Test Tones" \
   -movflags +faststart "$out/ilst-metadata.mp4"

# 7. 3GPP asset boxes titl/auth (+ AMR-NB 12.2 kbit/s, mode 7, no DTX).
"$work/amrenc" nb 7 0 "$work/nb8k.raw" "$work/nb-mode7.amr"
ff -f lavfi -i testsrc2=s=176x144:r=5:d=2 -i "$work/nb-mode7.amr" -t 2 \
   -c:v h263 -q:v 12 -c:a copy "${exact[@]}" "${nometa[@]}" \
   -metadata title="Asset Title" -metadata author="Asset Author" \
   -movflags +faststart "$out/3gpp-assets.3gp"

# 8. GStreamer's mp4mux: H.264 + AAC from avenc_aac. The video is encoded by ffmpeg's x264 (no
#    GStreamer x264 element here) and passed through qtdemux, which keeps its B-frame timing.
ff -f lavfi -i testsrc2=s=160x120:r=15:d=2 "${x264[@]}" -bf 2 -g 15 "${exact[@]}" "${nometa[@]}" \
   "$work/gst-video.mp4"
gst-launch-1.0 -q \
  filesrc location="$work/gst-video.mp4" ! qtdemux ! h264parse ! queue ! mp4mux name=mux \
  ! filesink location="$out/gst-mp4mux.mp4" \
  audiotestsrc num-buffers=86 samplesperbuffer=1024 freq=330 \
  ! audio/x-raw,rate=44100,channels=1 ! audioconvert ! avenc_aac bitrate=32000 ! aacparse ! queue ! mux.

# 9. Audio only: stereo AAC-LC 48 kHz in an .m4a (brand "M4A ").
ff -f lavfi -i "sine=f=440:d=2:sample_rate=48000" -f lavfi -i "sine=f=880:d=2:sample_rate=48000" \
   -filter_complex "[0:a][1:a]join=inputs=2:channel_layout=stereo" \
   -c:a aac -b:a 64k "${exact[@]}" "${nometa[@]}" -f ipod "$out/aac-stereo.m4a"

# 10. Audio-only AMR-NB 4.75 kbit/s (mode 0) with DTX, ten frames per sample as phones record
#     it. Neither ffmpeg nor GStreamer writes that, so amrgroup.py regroups ffmpeg's
#     one-frame samples in place (the media data is unchanged; moov stays after mdat).
"$work/amrenc" nb 0 1 "$work/nb8k.raw" "$work/nb-mode0.amr"
ff -i "$work/nb-mode0.amr" -c:a copy "${exact[@]}" "${nometa[@]}" "$work/amrnb-1fps.3gp"
python3 "$here/tools/amrgroup.py" "$work/amrnb-1fps.3gp" "$out/amrnb-10-frames-per-sample.3gp" 10

# 11-13. The layout phone recorders write: ftyp, then mdat with a 64-bit size, then moov.
#     ffmpeg writes ftyp, free, mdat, moov; phonelayout.py turns the 8-byte free and the
#     8-byte mdat header into one 16-byte mdat header, so no sample moves. The third file
#     adds moov/meta with "mdta" keys and vendor boxes in moov/udta, as phones do.
ff -f lavfi -i testsrc2=s=176x144:r=15:d=2 -f lavfi -i sine=f=523:d=2:sample_rate=48000 \
   "${x264[@]}" -bf 0 -g 15 -c:a aac -b:a 64k -ac 2 "${exact[@]}" "${nometa[@]}" "$work/phone.mp4"
python3 "$here/tools/phonelayout.py" "$work/phone.mp4" "$out/phone-h264-aac-mdat64.mp4"
python3 "$here/tools/phonelayout.py" "$work/phone.mp4" "$out/phone-mdta-udta-mdat64.mp4" --mdta
ff -f lavfi -i testsrc2=s=176x144:r=10:d=2 -i "$work/nb-mode7.amr" -t 2 \
   -c:v h263 -q:v 12 -c:a copy "${exact[@]}" "${nometa[@]}" "$work/phone.3gp"
python3 "$here/tools/phonelayout.py" "$work/phone.3gp" "$out/phone-h263-amrnb-mdat64.3gp"

# 14. A video track whose media header says duration 0 though its tables hold samples, as
#     some writers leave it; the movie header's duration is 0 too.
ff -f lavfi -i testsrc2=s=128x96:r=10:d=1 -f lavfi -i sine=f=440:d=1:sample_rate=32000 \
   "${x264[@]}" -bf 0 -c:a aac -b:a 32k -ac 1 "${exact[@]}" "${nometa[@]}" "$work/zero.mp4"
python3 - "$work/zero.mp4" "$out/zero-media-duration.mp4" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
def boxes(start, end):
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        yield kind, at + 8, at + size
        at += size
def find(start, end, kind):
    return next((s, e) for k, s, e in boxes(start, end) if k == kind)
def zero_duration(payload):  # the duration of an mvhd or mdhd, by version
    at, width = (payload + 24, 8) if data[payload] == 1 else (payload + 16, 4)
    data[at:at + width] = bytes(width)
moov = find(0, len(data), b"moov")
zero_duration(find(*moov, b"mvhd")[0])
for kind, s, e in boxes(*moov):
    if kind == b"trak":
        mdia = find(s, e, b"mdia")
        if any(k == b"vmhd" for k, _, _ in boxes(*find(*mdia, b"minf"))):
            zero_duration(find(*mdia, b"mdhd")[0])
open(sys.argv[2], "wb").write(data)
PY

# 15-19. Movie fragments. Every fragment a GOP (1 s) with nothing in moov; the same with
#     data offsets from the moof (no base offsets in tfhd); 0.7-s fragments cut by duration,
#     MPEG-4 video + AAC; AMR-NB alone in 1-s fragments (ffmpeg writes one frame a sample);
#     H.263 + AMR-NB with the first GOP's samples in moov and the rest in fragments.
ff -f lavfi -i testsrc2=s=128x96:r=15:d=3 -f lavfi -i sine=f=440:d=3:sample_rate=22050 \
   "${x264[@]}" -bf 2 -g 15 -c:a aac -b:a 32k -ac 1 "${exact[@]}" "${nometa[@]}" \
   -movflags frag_keyframe+empty_moov "$out/frag-keyframe-empty-moov.mp4"
ff -f lavfi -i testsrc2=s=128x96:r=15:d=3 -f lavfi -i sine=f=440:d=3:sample_rate=22050 \
   "${x264[@]}" -bf 0 -g 15 -c:a aac -b:a 32k -ac 1 "${exact[@]}" "${nometa[@]}" \
   -movflags frag_keyframe+empty_moov+default_base_moof "$out/frag-default-base-moof.mp4"
ff -f lavfi -i testsrc2=s=128x96:r=10:d=3 -f lavfi -i sine=f=660:d=3:sample_rate=16000 \
   -c:v mpeg4 -q:v 10 -g 10 -c:a aac -b:a 24k -ac 1 "${exact[@]}" "${nometa[@]}" \
   -frag_duration 700000 -movflags empty_moov "$out/frag-duration-av.mp4"
ff -i "$work/nb-mode7.amr" -t 3 -c:a copy "${exact[@]}" "${nometa[@]}" -f 3gp \
   -frag_duration 1000000 -movflags empty_moov "$out/amrnb-fragmented.3gp"
ff -f lavfi -i testsrc2=s=128x96:r=10:d=3 -i "$work/nb-mode7.amr" -t 3 -c:v h263 -q:v 12 -g 10 \
   -c:a copy "${exact[@]}" "${nometa[@]}" -f 3gp -movflags frag_keyframe "$out/moov-and-fragments.3gp"

for f in h264-aac-bframes.mp4 h263-amrnb.3gp mpeg4-amrwb.3gp mjpeg.mov late-video-edit.mp4 \
         ilst-metadata.mp4 3gpp-assets.3gp gst-mp4mux.mp4 aac-stereo.m4a \
         amrnb-10-frames-per-sample.3gp phone-h264-aac-mdat64.mp4 phone-mdta-udta-mdat64.mp4 \
         phone-h263-amrnb-mdat64.3gp zero-media-duration.mp4 frag-keyframe-empty-moov.mp4 \
         frag-default-base-moof.mp4 frag-duration-av.mp4 amrnb-fragmented.3gp moov-and-fragments.3gp; do
  python3 "$here/tools/fixturefacts.py" "$out/$f" > "$out/${f%.*}.facts"
done

# Corrupt inputs, named after their defect (no facts).
python3 - "$out" <<'EOF'
import struct, sys
out = sys.argv[1]
data = open(out + "/ilst-metadata.mp4", "rb").read()
def top_boxes(d):
    at = 0
    while at + 8 <= len(d):
        size, kind = struct.unpack(">I4s", d[at:at + 8])
        yield kind, at, size
        at += size
boxes = {kind: (at, size) for kind, at, size in top_boxes(data)}
moov_at, moov_size = boxes[b"moov"]
# The file ends in the middle of the movie box.
open(out + "/truncated-moov.mp4", "wb").write(data[:moov_at + moov_size // 2])
# Header and movie intact, media data box gone: every sample offset points past the end.
open(out + "/no-mdat.mp4", "wb").write(data[:boxes[b"mdat"][0]])
EOF

du -ch "$out"/* | tail -1
