#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then one with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
jobs=$(nproc)
for variant in normal sanitize; do
  if [ "$variant" = normal ]; then dir=build; flags=(); else dir=build-asan; flags=(-DDEMUX_SANITIZE=ON -DDEMUX_BUILD_BENCH=OFF); fi
  echo "=== $variant build in $dir"
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
done
