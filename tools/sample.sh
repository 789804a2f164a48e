#!/usr/bin/env bash
# The main job on the bundled sample: builds the tool and shows what it
# makes of tests/fixtures/h264-aac-bframes.mp4.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target 3gpdemux
sample=tests/fixtures/h264-aac-bframes.mp4
echo "=== build/3gpdemux boxes $sample"
build/3gpdemux boxes "$sample"
