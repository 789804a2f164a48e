#!/usr/bin/env bash
# Builds and runs the tests three times: a normal build with every test,
# one with AddressSanitizer and UndefinedBehaviorSanitizer with every test,
# and one with ThreadSanitizer running the tests that drive threads.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
jobs=$(nproc)
# The suites whose code runs on more than one thread.
threaded='DemuxDelivery|DemuxStress|DemuxSeeking|Kernel|AMThread|AacDetect|AacSettle|Omx|Component|Allocator|HostGraph'
for variant in normal sanitize thread; do
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
