#!/usr/bin/env bash
# Makes the benchmark's media with ffmpeg into DIR (default /tmp/demux-bench),
# keeping files already there:
#   play.mp4        ~200 MB, ~2 minutes: 1280x720 30 fps H.264 at ~13 Mbit/s
#                   with B-frames, AAC stereo 48 kHz
#   long-10.mp4, long-60.mp4, long-180.mp4
#                   the same minute of tiny 32x32 30 fps H.264 (B-frames,
#                   a key frame a second) and AAC mono 24 kHz, repeated for
#                   10, 60 and 180 minutes (180: ~580,000 samples)
#   long-180-frag.mp4
#                   long-180.mp4 rewritten as movie fragments of 2 s, moov empty
# Long files are cheap: one short piece is encoded, then copied end to end.
set -euo pipefail
dir=${1:-/tmp/demux-bench}
mkdir -p "$dir"
ff=(ffmpeg -hide_banner -loglevel error -y)

# $1 output; the rest: ffmpeg arguments writing to the file named last.
make() {
  local out=$1; shift
  [ -s "$dir/$out" ] && return 0
  echo "making $dir/$out" >&2
  "${ff[@]}" "$@" "$dir/.$out.part.mp4"
  mv "$dir/.$out.part.mp4" "$dir/$out"
}

# 20 s of noisy picture so the encoder cannot shrink it below the asked rate.
make play-piece.mp4 -f lavfi -i "testsrc2=size=1280x720:rate=30,noise=alls=24:allf=t" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000,aformat=channel_layouts=stereo" -t 20 \
  -c:v libx264 -preset ultrafast -bf 2 -g 60 -b:v 13200k -maxrate 14M -bufsize 28M -pix_fmt yuv420p \
  -c:a aac -b:a 128k
make play.mp4 -stream_loop 5 -i "$dir/play-piece.mp4" -c copy

make long-piece.mp4 -f lavfi -i "testsrc2=size=32x32:rate=30" -f lavfi -i "sine=frequency=300:sample_rate=24000" \
  -t 60 -c:v libx264 -preset veryfast -bf 2 -g 30 -pix_fmt yuv420p -c:a aac -b:a 16k -ac 1
for minutes in 10 60 180; do
  make "long-$minutes.mp4" -stream_loop $((minutes - 1)) -i "$dir/long-piece.mp4" -c copy
done
make long-180-frag.mp4 -i "$dir/long-180.mp4" -c copy -movflags frag_keyframe+empty_moov \
  -min_frag_duration 2000000 -f mp4
