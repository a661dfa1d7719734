#!/usr/bin/env bash
# Builds the fuzz harnesses with clang into build-fuzz/ and runs each one on
# its committed corpus and the game's own files, one after the other.
#   fuzz/run.sh [seconds per harness, default 600] [harness...]
# Inputs found are kept in build-fuzz/corpus-<harness>/; a crash or a memory
# blow-up (over 2 GB) stops with the input saved as build-fuzz/crash-*: fix
# the fault, then add that input to fuzz/corpus/<harness>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(png_decode_fuzz glyph_raster_fuzz message_read_fuzz street_read_fuzz)
fi

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLUCANE_FUZZ=ON -DPELLUCANE_TESTS=OFF >&2
cmake --build build-fuzz -j2 --target "${harnesses[@]}" >&2

# the game's own files each harness starts from, besides its corpus (the
# network's readers have their corpus alone)
declare -A seeds=([png_decode_fuzz]=data/images [glyph_raster_fuzz]=data/fonts
  [message_read_fuzz]=fuzz/corpus/message_read_fuzz [street_read_fuzz]=fuzz/corpus/street_read_fuzz)
# The harnesses run side by side; any failure fails the run.
pids=()
for harness in "${harnesses[@]}"; do
  work=build-fuzz/corpus-$harness
  mkdir -p "$work"
  echo "fuzzing $harness for $seconds s" >&2
  build-fuzz/fuzz/$harness -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix=build-fuzz/crash-$harness- -print_final_stats=1 \
    "$work" "fuzz/corpus/$harness" "${seeds[$harness]}" 2>"build-fuzz/$harness.log" &
  pids+=($!)
done
status=0
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    status=1
  fi
  grep -e '^stat::' -e 'ERROR' -e 'SUMMARY' "build-fuzz/${harnesses[$i]}.log" |
    sed "s/^/${harnesses[$i]}: /" >&2 || true
done
if [ $status -ne 0 ]; then
  echo "fuzzing found a fault: see build-fuzz/*.log and build-fuzz/crash-*" >&2
fi
exit $status
