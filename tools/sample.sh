#!/usr/bin/env bash
# The main job on the bundled sample: builds the tool (and the filter module
# it loads) and shows what the filter makes of
# tests/fixtures/h264-aac-bframes.mp4: its pins as JSON, then its two
# streams extracted to files that ffmpeg and players read.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
# Only what the tool needs: the tests' packages (Wine, cross compilers,
# emulators; over a gigabyte) come with tools/test.sh.
tools/setup.sh .ci/packages-tool.txt
cmake -S . -B build -DDEMUX_BUILD_TESTS=OFF -DDEMUX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target 3gpdemux
sample=tests/fixtures/h264-aac-bframes.mp4
out=build/sample-output
mkdir -p "$out"
# The filter's own debug output goes to stderr; keep it out of the listing.
echo "=== build/3gpdemux info $sample"
build/3gpdemux info "$sample" 2>/dev/null | tee "$out/info.json"
echo "=== build/3gpdemux extract $sample $out"
build/3gpdemux extract "$sample" "$out" 2>/dev/null
echo "Output: $out/info.json (the pins) and the extracted streams in $out/:"
ls -l "$out"
