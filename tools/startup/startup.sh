#!/usr/bin/env bash
# Times the game from exec to its first title frame, and its peak resident
# memory, for one or more builds run alternately in one X server:
#   tools/startup/startup.sh RUNS BUILD_DIR [BUILD_DIR...]
# Each BUILD_DIR holds a built pellucane whose source tree's data/ it runs
# in. Prints one line per run and a median and spread per build.
set -euo pipefail
runs=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
shim=$(mktemp --suffix=.so)
trap 'rm -f "$shim" "$shim.out"' EXIT
g++ -std=c++17 -O2 -shared -fPIC -o "$shim" "$here/StartupShim.cpp" -ldl

export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
for run in $(seq "$runs"); do
  for build in "$@"; do
    data=$(sed -n 's/^Pellucane_SOURCE_DIR:STATIC=//p' "$build/CMakeCache.txt")/data
    binary=$(cd "$build" && pwd)/pellucane
    (cd "$data" && PELLUCANE_T0=$(date +%s%N) LD_PRELOAD="$shim" \
      /usr/bin/time -f "peak-kb %M" "$binary" >/dev/null 2>"$shim.out") || true
    echo "$build $(grep -h -o 'first-frame-seconds.*\|peak-kb.*' "$shim.out" | tr '\n' ' ')"
  done
done | tee /dev/stderr | python3 -c '
import statistics, sys
runs = {}
for line in sys.stdin:
    fields = line.split()
    if len(fields) == 5:
        runs.setdefault(fields[0], []).append((float(fields[2]), int(fields[4]) / 1024))
for build, values in runs.items():
    seconds = [s for s, _ in values]
    peaks = [p for _, p in values]
    print(f"{build}: first frame median {statistics.median(seconds):.3f} s"
          f" (min {min(seconds):.3f}, max {max(seconds):.3f}),"
          f" peak RSS median {statistics.median(peaks):.0f} MB (max {max(peaks):.0f}), {len(values)} runs")
'
