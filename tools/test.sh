#!/usr/bin/env bash
# Builds and runs every test three times: a normal build, one with
# AddressSanitizer and UndefinedBehaviorSanitizer, and one with
# ThreadSanitizer (a race it reports fails the test that ran into it).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
jobs=$(nproc)
variants=(normal sanitize thread)
# Line tables are all a report or a debugger's backtrace needs here, and
# full debug information doubles the compile time; the sanitizer builds run
# at -O1, as the sanitizers advise. A build by hand keeps CMake's defaults.
optimized=-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
sanitized=-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
for variant in "${variants[@]}"; do
  case "$variant" in
    # Tests on: tools/sample.sh may have configured build/ without them.
    normal) dir=build; flags=("$optimized" -DDEMUX_BUILD_TESTS=ON -DDEMUX_BUILD_BENCH=ON) ;;
    sanitize) dir=build-asan; flags=("$sanitized" -DDEMUX_BUILD_TESTS=ON -DDEMUX_SANITIZE=ON -DDEMUX_BUILD_BENCH=OFF) ;;
    thread) dir=build-tsan; flags=("$sanitized" -DDEMUX_BUILD_TESTS=ON -DDEMUX_TSAN=ON -DDEMUX_BUILD_BENCH=OFF) ;;
  esac
  echo "=== $variant build in $dir"
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
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
# How the tests' size compares with the code's (reported, not enforced yet).
echo "=== summary"
tools/test-ratio.sh
