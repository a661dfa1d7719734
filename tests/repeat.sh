#!/usr/bin/env bash
# Runs the whole plain suite N times in a row while a load generator keeps
# every core busy, and reports every failure with its test's name: a test
# that depends on how fast the machine is shows up here.
#   tests/repeat.sh [N, default 20]        (after ./test.sh has built build/)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
source scripts/packages.sh
ensure_packages stress-ng

stress-ng --cpu "$(nproc)" --cpu-load 100 --quiet &
load=$!
trap 'kill "$load" 2>/dev/null; wait "$load" 2>/dev/null || true' EXIT

export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
failed=0
for run in $(seq "$runs"); do
  log=build/repeat-$run.log
  start=$SECONDS
  if xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    ctest --test-dir build -j"$(nproc)" --output-on-failure >"$log" 2>&1; then
    echo "run $run: passed in $((SECONDS - start)) s"
    rm -f "$log"
  else
    failed=$((failed + 1))
    echo "run $run: FAILED in $((SECONDS - start)) s (its output: $log):"
    sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/  \1/p' "$log"
  fi
done
echo "$runs runs under load, $failed failed"
[ "$failed" -eq 0 ]
