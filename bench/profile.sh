#!/usr/bin/env bash
# Where a play's time goes: profiles build-bench/bench_play playing FILE
# (default: the 3-hour file of bench/run.sh, whose tiny samples show the
# per-sample costs) and prints the biggest costs by library and by function.
# Uses perf when this machine allows it, else callgrind (instructions only:
# it does not see time spent in the kernel).
#   usage: bench/profile.sh [FILE]     (run bench/run.sh first)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-/tmp/demux-bench/long-180.mp4}
driver=$here/build-bench/bench_play
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if perf record -q -o "$out/perf.data" -F 1999 -g "$driver" play "$file" >/dev/null 2>&1; then
  echo "== perf: CPU time by library"
  perf report -i "$out/perf.data" --no-children --sort dso -g none 2>/dev/null | grep -v -E '^(#|$)' | head -8
  echo "== perf: CPU time by function (self)"
  perf report -i "$out/perf.data" --no-children --sort dso,sym -g none 2>/dev/null | grep -v -E '^(#|$)' | head -20
  echo "== perf: CPU time by function (with callees)"
  perf report -i "$out/perf.data" --children --sort sym -g none 2>/dev/null | grep -v -E '^(#|$)' | head -30
else
  valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out" "$driver" play "$file" >/dev/null 2>&1
  echo "== callgrind: instructions by function (self)"
  callgrind_annotate --inclusive=no "$out/callgrind.out" | sed -n '/^Ir/,$p' | head -25
  echo "== callgrind: instructions by function (with callees)"
  callgrind_annotate --inclusive=yes "$out/callgrind.out" | sed -n '/^Ir/,$p' | head -30
fi
