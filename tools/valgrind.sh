#!/usr/bin/env bash
# valgrind memcheck of the integration suites (the filter connected, played,
# seeked and stopped in the host graph) on the normal build in build/: any
# invalid access or definite leak fails. Run after tools/test.sh built build/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
cmake --build build -j "$(nproc)" --target demux_tests
# The module's debug output is dropped; valgrind's report goes to build/valgrind.log.
if ! valgrind --quiet --log-file=build/valgrind.log --leak-check=full --error-exitcode=1 \
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect build/demux_tests --gtest_brief=1 \
  --gtest_filter='Demux*:HostGraph*:FuzzRegression*:-DemuxOutOfMemory*:DemuxStress*' \
  2>/dev/null; then
  cat build/valgrind.log
  exit 1
fi
