#!/usr/bin/env bash
# The Windows module inside Wine's DirectShow. Cross-builds 3gpDemux.dll,
# OMX_Core.dll and the test program (tests/wine/) with mingw-w64 into
# build-win/, makes a fresh 64-bit Wine prefix there (headless), registers
# the module with regsvr32 and checks the entries; plays one fixture of each
# codec family through Wine's filter graph and compares what the sinks
# received with what the Linux tool (build/3gpdemux samples) delivers for the
# same file, also around a seek made through the graph while running; then
# unregisters and checks that the class registry is as it was. Fails
# (non-zero) on any mismatch.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
dir=$here/build-win
passed=0
failed=0
pass() { echo "wine-test: ok: $*"; passed=$((passed + 1)); }
fail() { echo "wine-test: FAILED: $*" >&2; failed=$((failed + 1)); }
stage() { echo "=== $* (at ${SECONDS}s)"; }

stage "Windows build in $dir"
tools/fetch-faad2-source.sh "$dir"
# Release: the form that ships, without debug information.
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DFAAD2_SOURCE_DIR="$dir/faad2" >/dev/null
cmake --build "$dir" -j "$(nproc)"

stage "Wine prefix"
export WINEPREFIX=$dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if ! command -v wine >/dev/null || ! wine --version >/dev/null; then
  echo "wine-test: wine does not run here" >&2
  exit 1
fi
rm -rf "$WINEPREFIX"
wine wineboot --init >/dev/null 2>&1
wineserver -w

# The class registry (HKCR as Wine stores it), one key a paragraph, without
# the write times.
class_registry() {
  wineserver -w
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       index($0, "[Software\\\\Classes") == 1 {
         n = split($0, line, "\n"); sub(/\] [0-9]+$/, "]", line[1]); key = line[1]
         for (i = 2; i <= n; i++) if (line[i] !~ /^#time=/) key = key "\n" line[i]
         print key
       }' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"
}
class_registry > "$dir/registry-before.txt"
module=$(winepath -w "$dir/3gpDemux.dll")

stage "registration"
if wine regsvr32 /s "$module"; then pass "regsvr32 3gpDemux.dll"; else fail "regsvr32 3gpDemux.dll"; fi
if wine "$dir/demux_wine_test.exe" registry "$module"; then
  pass "registry keys and filter-mapper entries"
else
  fail "registry keys and filter-mapper entries"
fi

stage "plays inside Wine's filter graph, compared with the Linux host"
tool=$here/build/3gpdemux
if [ ! -x "$tool" ]; then
  cmake -S . -B build >/dev/null
  cmake --build build --target 3gpdemux -j "$(nproc)" >/dev/null
fi
hold=3  # samples each sink receives before the seek
out=$dir/wine-test-output
rm -rf "$out"
for fixture in h264-aac-bframes.mp4 h263-amrnb.3gp mpeg4-amrwb.3gp mjpeg.mov aac-stereo.m4a moov-and-fragments.3gp; do
  tools/wine-compare.sh "$tool" "$dir/demux_wine_test.exe" "tests/fixtures/$fixture" "$hold" "$out/$fixture" \
    && pass "$fixture plays in Wine's graph as on Linux" || fail "$fixture (details above; files in $out/$fixture)"
done

if wine regsvr32 /s /u "$module"; then pass "regsvr32 /u 3gpDemux.dll"; else fail "regsvr32 /u 3gpDemux.dll"; fi
class_registry > "$dir/registry-after.txt"
# Wine's filter mapper deletes the filter's own key under HKCR\Filter and
# leaves that parent behind, empty, when registration made it.
if diff "$dir/registry-before.txt" \
        <(awk 'BEGIN { RS = ""; ORS = "\n\n" } $0 != "[Software\\\\Classes\\\\Filter]"' "$dir/registry-after.txt"); then
  pass "unregistration left the class registry as it was"
else
  fail "unregistration left the class registry changed (diff above)"
fi

echo "wine-test: took ${SECONDS}s"
echo "wine-test: $passed passed, $failed failed"
[ "$failed" = 0 ]
