#!/usr/bin/env bash
# Cross-builds the module, its framework and the parser and framer tests for
# 32-bit ARM, the device's kind of processor, and runs them under qemu-arm:
# 4-byte pointers and size_t, the device's record layouts, and the alignment
# faults ARM raises where x86 does not. Build directory: $1, or build-arm.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
dir=${1:-build-arm}
cmake -S tests/arm -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/arm-linux-gnueabihf.cmake" >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && ctest --output-on-failure)
