#!/usr/bin/env bash
# Times the game from exec to its first title frame, and its processor time
# (user + system) and peak resident memory up to then, for one or more builds
# run alternately in one X server:
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
for _ in $(seq "$runs"); do
  for build in "$@"; do
    data=$(sed -n 's/^Pellucane_SOURCE_DIR:STATIC=//p' "$build/CMakeCache.txt")/data
    binary=$(cd "$build" && pwd)/pellucane
    (cd "$data" && PELLUCANE_T0=$(date +%s%N) LD_PRELOAD="$shim" \
      /usr/bin/time -f "peak-kb %M cpu-seconds %U %S" "$binary" >/dev/null 2>"$shim.out") || true
    echo "$build $(grep -h -o 'first-frame-seconds.*\|peak-kb.*' "$shim.out" | tr '\n' ' ')"
  done
done | tee /dev/stderr | python3 -c '
import statistics, sys
runs = {}
for line in sys.stdin:
    fields = line.split()
    if len(fields) == 8:
        runs.setdefault(fields[0], []).append(
            (float(fields[2]), float(fields[6]) + float(fields[7]), int(fields[4]) / 1024))
for build, values in runs.items():
    seconds, cpu, peaks = (sorted(column) for column in zip(*values))
    print(f"{build}: first frame median {statistics.median(seconds):.3f} s"
          f" (min {seconds[0]:.3f}, max {seconds[-1]:.3f}),"
          f" processor median {statistics.median(cpu):.2f} s (min {cpu[0]:.2f}, max {cpu[-1]:.2f}),"
          f" peak RSS median {statistics.median(peaks):.0f} MB (max {peaks[-1]:.0f}), {len(values)} runs")
'
