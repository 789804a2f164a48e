#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then one with
# AddressSanitizer and UndefinedBehaviorSanitizer. A ThreadSanitizer build
# of the threaded suites runs when DEMUX_TSAN=1 is set: the workers' seeking
# and end-of-stream flags are plain bytes polled across threads by design,
# and need suppressions before that build can gate CI.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
jobs=$(nproc)
# The suites whose code runs on more than one thread.
threaded='DemuxDelivery|DemuxStress|DemuxSeeking|Kernel|AMThread|AacDetect|AacSettle|Omx|Component|Allocator|HostGraph'
variants=(normal sanitize)
[ "${DEMUX_TSAN:-0}" = 1 ] && variants+=(thread)
for variant in "${variants[@]}"; do
  case "$variant" in
    normal) dir=build; flags=(); filter=() ;;
    sanitize) dir=build-asan; flags=(-DDEMUX_SANITIZE=ON -DDEMUX_BUILD_BENCH=OFF); filter=() ;;
    thread) dir=build-tsan; flags=(-DDEMUX_TSAN=ON -DDEMUX_BUILD_BENCH=OFF); filter=(-R "$threaded") ;;
  esac
  echo "=== $variant build in $dir"
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" "${filter[@]}")
done
# The Windows module, cross-built and run inside Wine's DirectShow.
tools/wine-test.sh
# Short fuzz runs of the parser, the AMR framer and the whole filter.
echo "=== fuzz"
tools/fuzz.sh
# The parser and framer tests once more, cross-built for 32-bit ARM and run
# under qemu-arm.
echo "=== arm build in build-arm"
tools/arm-test.sh build-arm
# The integration suites under valgrind's memcheck.
echo "=== valgrind"
tools/valgrind.sh
