#!/usr/bin/env bash
# One fixture through Wine's filter graph against the Linux host:
#   wine-compare.sh TOOL WINE_PROGRAM FIXTURE HOLD OUTDIR
# TOOL is build/3gpdemux, WINE_PROGRAM demux_wine_test.exe (run with the
# caller's WINEPREFIX, by its WINE loader if it names one). Per pin, the JSON lines must agree:
#   play    Run to EC_COMPLETE          = "3gpdemux samples FIXTURE"
#   replay  Stop, rewind, Pause again   = the same
#   seek    before the flush: the first lines of the play; all of it =
#           "3gpdemux samples FIXTURE --seek-at HOLD:T", sample numbers aside
#           (they count from where each seek happened): there each pin holds
#           its HOLD-th sample until the seek, as the Wine sinks hold theirs
# and the graph's GetDuration equals the duration "3gpdemux info" reports.
set -euo pipefail
tool=$1 program=$2 fixture=$3 hold=$4 out=$5
mkdir -p "$out"
problems=0
problem() { echo "wine-compare: $fixture: $*" >&2; problems=$((problems + 1)); }

# The filter's diagnostics go to stderr on Linux; keep them with the results.
"$tool" info "$fixture" > "$out/info.json" 2> "$out/linux-stderr.txt"
duration=$(grep -o '"duration": *[0-9]*' "$out/info.json" | grep -o '[0-9]*$')
seek=$((duration / 2))
"$tool" samples "$fixture" > "$out/linux-play.jsonl" 2>> "$out/linux-stderr.txt"
"$tool" samples "$fixture" --seek-at "$hold:$seek" > "$out/linux-seek.jsonl" 2>> "$out/linux-stderr.txt"
if ! "${WINE:-wine}" "$program" play "$(winepath -w "$fixture")" "$hold" "$seek" > "$out/wine.txt"; then
  problem "the Windows test program failed"
fi
for section in play seek replay; do
  awk -F'\t' -v s="$section" '$1 == s { print $2 }' "$out/wine.txt" > "$out/wine-$section.jsonl"
done
grep -q '"event":"error"' "$out/linux-play.jsonl" "$out/wine.txt" && problem "a stream error was reported"

before_flush() { awk '/"event":"flush"/ { exit } { print }' "$1"; }
from_last_segment() {
  awk '/"event":"segment"/ { n = NR } { line[NR] = $0 } END { if (n) for (i = n; i <= NR; i++) print line[i] }' "$1"
}
for pin in video audio; do
  pick() { grep "\"pin\":\"$pin\"" "$1" || true; }
  pick "$out/linux-play.jsonl" > "$out/$pin-linux-play.jsonl"
  pick "$out/linux-seek.jsonl" > "$out/$pin-linux-seek.jsonl"
  for section in play seek replay; do pick "$out/wine-$section.jsonl" > "$out/$pin-wine-$section.jsonl"; done
  [ -s "$out/$pin-linux-play.jsonl" ] || [ -s "$out/$pin-wine-play.jsonl" ] || continue

  for section in play replay; do
    diff "$out/$pin-linux-play.jsonl" "$out/$pin-wine-$section.jsonl" > "$out/$pin-$section.diff" ||
      problem "$pin: Wine's $section differs from Linux (see $out/$pin-$section.diff)"
  done
  before_flush "$out/$pin-wine-seek.jsonl" > "$out/$pin-wine-seek-before.jsonl"
  lines=$(wc -l < "$out/$pin-wine-seek-before.jsonl")
  head -n "$lines" "$out/$pin-linux-play.jsonl" | cmp -s - "$out/$pin-wine-seek-before.jsonl" ||
    problem "$pin: before the seek, Wine's lines are not the start of the play"
  samples=$(grep -c '"event":"sample"' "$out/$pin-wine-seek-before.jsonl" || true)
  [ "$samples" = "$hold" ] || grep -q '"event":"eos"' "$out/$pin-wine-seek-before.jsonl" ||
    problem "$pin: the seek came after $samples samples, not $hold"
  grep -q '"event":"flush"' "$out/$pin-wine-seek.jsonl" || problem "$pin: the seek did not flush"
  # The run the seek started opens its segment at the seek target.
  # sed reads to the end: head would leave awk writing into a closed pipe,
  # whose failure pipefail would then report.
  segment_start=$(from_last_segment "$out/$pin-wine-seek.jsonl" | sed -n 1p | grep -o '"start":[0-9]*' | grep -o '[0-9]*$' || echo -1)
  [ "$segment_start" = "$seek" ] || problem "$pin: the run after the seek starts at '$segment_start', not at $seek"
  for side in linux wine; do sed 's/"n":[0-9]*,//' "$out/$pin-$side-seek.jsonl" > "$out/$pin-$side-seek-unnumbered.jsonl"; done
  diff "$out/$pin-linux-seek-unnumbered.jsonl" "$out/$pin-wine-seek-unnumbered.jsonl" > "$out/$pin-seek.diff" ||
    problem "$pin: around the seek Wine differs from Linux (see $out/$pin-seek.diff)"
done

wine_duration=$(awk -F'\t' '$1 == "duration" { print $2 }' "$out/wine.txt")
[ "$wine_duration" = "$duration" ] || problem "the graph's duration is '$wine_duration', 3gpdemux info says $duration"
[ "$problems" = 0 ]
