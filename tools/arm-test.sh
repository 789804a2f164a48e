#!/usr/bin/env bash
# Cross-builds the module, its framework and the parser, framer, delivery,
# seeking and fault tests for 32-bit ARM, the device's kind of processor, and
# runs them under qemu-arm: 4-byte pointers and size_t, the device's record
# layouts, 64-bit times on a 32-bit processor, worker threads, and the
# alignment faults ARM raises where x86 does not. Build directory: $1, or
# build-arm; faad2's sources (for the OpenMAX core) are unpacked there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
dir=${1:-build-arm}
tools/fetch-faad2-source.sh "$dir"
cmake -S tests/arm -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/arm-linux-gnueabihf.cmake" \
      -DFAAD2_SOURCE_DIR="$(cd "$dir" && pwd)/faad2" >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && ctest --output-on-failure)
