#!/usr/bin/env bash
# The benchmarks in one command: builds in release mode (build-bench/), makes
# the media with ffmpeg (kept in MEDIA_DIR, default /tmp/demux-bench, and
# reused), measures the filter against ffmpeg, GStreamer, cat and a pread
# loop (on every processor and on one), and the 3gpdemux tool against ffmpeg,
# and writes bench/results.md and bench/results.png.
#   usage: bench/run.sh [MEDIA_DIR]      RUNS=N sets the rounds per timing (5)
# Timings report; nothing here fails on a figure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
media=$(realpath -m "${1:-/tmp/demux-bench}")
tools/setup.sh
tools/setup.sh bench/packages.txt
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target bench_play bench_sampletables_bench 3gpdemux -j "$(nproc)"
bench/make_media.sh "$media"
# Debian's python, which is the one python3-matplotlib serves.
/usr/bin/python3 bench/measure.py --build build-bench --media "$media" --runs "${RUNS:-5}" \
  --out build-bench/results.json
/usr/bin/python3 bench/report.py build-bench/results.json bench/results.md bench/results.png
echo "bench: wrote bench/results.md and bench/results.png"
