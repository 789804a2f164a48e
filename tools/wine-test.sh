#!/usr/bin/env bash
# The Windows module inside Wine's DirectShow, for 32-bit Windows (the
# device's word size, and its calling conventions) and 64-bit Windows:
#   wine-test.sh [32|64]...   (without arguments: both)
# For each, cross-builds 3gpDemux.dll, OMX_Core.dll and the test program
# (tests/wine/) with mingw-w64 into build-win32/ or build-win/, makes a fresh
# Wine prefix of that bitness there (headless), registers the module with
# regsvr32 and checks the entries; plays one fixture of each codec family
# through Wine's filter graph and compares what the sinks received with what
# the Linux tool (build/3gpdemux samples) delivers for the same file, also
# around a seek made through the graph while running; then unregisters and
# checks that the class registry is as it was. Fails (non-zero) on any
# mismatch in either.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
bitnesses=("$@")
[ ${#bitnesses[@]} -gt 0 ] || bitnesses=(32 64)
passed=0
failed=0
pass() { echo "wine-test: ok ($bits-bit): $*"; passed=$((passed + 1)); }
fail() { echo "wine-test: FAILED ($bits-bit): $*" >&2; failed=$((failed + 1)); }
stage() { echo "=== $bits-bit: $* (at ${SECONDS}s)"; }

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

# One bitness: its build, its own prefix, every check.
wine_stage() {
  bits=$1
  case "$bits" in
    32) dir=$here/build-win32 toolchain=i686 winearch=win32 WINE=wine ;;
    # Debian's "wine" starts the 32-bit loader once wine32 is installed,
    # which would show regedit the 32-bit view of the registry.
    64) dir=$here/build-win toolchain=x86_64 winearch=win64 WINE=/usr/lib/wine/wine64 ;;
    *) echo "wine-test: bitness 32 or 64, not '$bits'" >&2; return 1 ;;
  esac
  stage "Windows build in $dir"
  tools/fetch-faad2-source.sh "$dir"
  # Release: the form that ships, without debug information.
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DFAAD2_SOURCE_DIR="$dir/faad2" >/dev/null
  cmake --build "$dir" -j "$(nproc)"

  stage "Wine prefix"
  export WINEPREFIX=$dir/wineprefix WINEARCH=$winearch WINE
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1
  wineserver -w

  class_registry > "$dir/registry-before.txt"
  module=$(winepath -w "$dir/3gpDemux.dll")

  stage "registration"
  if "$WINE" regsvr32 /s "$module"; then pass "regsvr32 3gpDemux.dll"; else fail "regsvr32 3gpDemux.dll"; fi
  # What the Linux tool prints for a device image's registry must be what
  # Wine's registry holds after regsvr32, value for value, with Wine's module
  # path in InprocServer32. Wine's filter mapper leaves out a pin's
  # ConnectsToFilter and ConnectsToPin when they are the null class and the
  # empty name (reserved arguments of RegisterPin); DirectShow's writes them.
  "$tool" regfile --dll-path "$module" > "$dir/regfile.reg" 2>/dev/null
  clsid=$(grep -o -m1 '{[0-9A-F-]*}' "$dir/regfile.reg")
  exports=()
  for root in CLSID Filter; do
    "$WINE" regedit /E "$(winepath -w "$dir/wine-$root.reg")" "HKEY_CLASSES_ROOT\\$root\\$clsid"
    exports+=("$dir/wine-$root.reg")
  done
  if python3 tools/regcompare.py --absent-ok 'ConnectsToFilter={00000000-0000-0000-0000-000000000000}' \
       --absent-ok 'ConnectsToPin=' "$dir/regfile.reg" "${exports[@]}"; then
    pass "3gpdemux regfile equals Wine's export"
  else
    fail "3gpdemux regfile differs from Wine's export (above; files in $dir)"
  fi

  stage "plays inside Wine's filter graph, compared with the Linux host"
  hold=3  # samples each sink receives before the seek
  out=$dir/wine-test-output
  rm -rf "$out"
  for fixture in h264-aac-bframes.mp4 h263-amrnb.3gp mpeg4-amrwb.3gp mjpeg.mov aac-stereo.m4a \
                 phone-mdta-udta-mdat64.mp4 moov-and-fragments.3gp; do
    tools/wine-compare.sh "$tool" "$dir/demux_wine_test.exe" "tests/fixtures/$fixture" "$hold" "$out/$fixture" \
      && pass "$fixture plays in Wine's graph as on Linux" || fail "$fixture (details above; files in $out/$fixture)"
  done

  if "$WINE" regsvr32 /s /u "$module"; then pass "regsvr32 /u 3gpDemux.dll"; else fail "regsvr32 /u 3gpDemux.dll"; fi
  class_registry > "$dir/registry-after.txt"
  # Wine's filter mapper deletes the filter's own key under HKCR\Filter and
  # leaves that parent behind, empty, when registration made it.
  if diff "$dir/registry-before.txt" \
          <(awk 'BEGIN { RS = ""; ORS = "\n\n" } $0 != "[Software\\\\Classes\\\\Filter]"' "$dir/registry-after.txt"); then
    pass "unregistration left the class registry as it was"
  else
    fail "unregistration left the class registry changed (diff above)"
  fi
}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if ! command -v wine >/dev/null || ! wine --version >/dev/null; then
  echo "wine-test: wine does not run here" >&2
  exit 1
fi
# The Linux side of every comparison.
tool=$here/build/3gpdemux
if [ ! -x "$tool" ]; then
  cmake -S . -B build >/dev/null
  cmake --build build --target 3gpdemux -j "$(nproc)" >/dev/null
fi

for bits in "${bitnesses[@]}"; do
  started=$SECONDS
  wine_stage "$bits"
  echo "wine-test: $bits-bit took $((SECONDS - started))s"
done

echo "wine-test: took ${SECONDS}s"
echo "wine-test: $passed passed, $failed failed"
[ "$failed" = 0 ]
