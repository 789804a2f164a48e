#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and fuzzes the three
# at once. Without FUZZ_SECONDS (CI) each makes a fixed number of runs from a
# fixed seed, about a minute here: the same inputs on every machine, so a
# check-in is not failed by a finding it did not cause; new findings come
# from long runs, FUZZ_SECONDS=N, which mutate at random. The corpora start from
# the fixtures and the regression inputs and are kept in build-fuzz/corpus/,
# so a later run goes on where the last stopped. Any crash, leak, time-out or
# running out of memory fails the script; the input is left in
# build-fuzz/artifacts/ and the report in build-fuzz/logs/. The movie
# targets also start from tests/fuzz/seeds/ (tools/make-fuzz-seeds.sh): files
# in real writers' layouts the fixtures lack (fragments, many tracks, odd
# edit lists, vendor boxes, long tables at the end of the file).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
tools/setup.sh
seconds=${FUZZ_SECONDS:-}
out=build-fuzz
# Line tables suffice for the reports, and full debug information doubles the build.
CC=clang CXX=clang++ cmake -S . -B "$out" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DDEMUX_FUZZ=ON -DDEMUX_BUILD_TESTS=OFF -DDEMUX_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j "$(nproc)" --target fuzz_parser fuzz_amrframer fuzz_filter

mkdir -p "$out/logs" "$out/artifacts"
movies=(tests/fixtures/*.3gp tests/fixtures/*.mp4 tests/fixtures/*.m4a tests/fixtures/*.mov tests/fuzz/seeds/*)
amr=(tests/fixtures/*amr*.3gp)
# seed NAME FILE...: the seed folder of target NAME: the files given and the
# inputs that once made NAME fail.
seed() {
  local name=$1 dir="$out/seeds/$1" regressions="tests/fuzz/regressions/$1"
  shift
  rm -rf "$dir"
  mkdir -p "$dir" "$out/corpus/$name"
  cp "$@" "$dir/"
  if compgen -G "$regressions/*" >/dev/null; then cp "$regressions"/* "$dir/"; fi
}
seed parser "${movies[@]}"
seed filter "${movies[@]}"
seed amrframer "${amr[@]}"

# -timeout: the filter entry bounds each play to a few seconds, so 25 s is a
# hang. libFuzzer's own time-out handler can deadlock when it interrupts an
# allocation, so each run is also killed two minutes after it should have
# ended; that counts as a failure too.
declare -A runs=([parser]=60000 [amrframer]=1500000 [filter]=3000)  # about 60 s each here
pids=()
for target in parser amrframer filter; do
  extra=()
  [ "$target" = amrframer ] && extra=(-max_len=4096)  # samples are small; the seeds are whole files
  if [ -n "$seconds" ]; then
    extra+=(-max_total_time="$seconds")
    limit=$((seconds + 120))
  else
    extra+=(-seed=1 -runs="${runs[$target]}")
    limit=600
  fi
  timeout -k 10 "$limit" "$out/fuzz_$target" "${extra[@]}" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$target-" "$out/corpus/$target" "$out/seeds/$target" \
    >"$out/logs/$target.log" 2>&1 &
  pids+=($!)
done
status=0
targets=(parser amrframer filter)
for i in 0 1 2; do
  target=${targets[$i]}
  if wait "${pids[$i]}"; then
    echo "fuzz_$target: $(grep -E '^#[0-9]+.*DONE' "$out/logs/$target.log" | tail -1)"
  else
    status=1
    echo "fuzz_$target FAILED; the end of $out/logs/$target.log:"
    tail -60 "$out/logs/$target.log"
  fi
done
exit $status
