#!/usr/bin/env bash
# Builds the Windows zip and test programs for Windows
# (packaging/windows/build.sh --tests), plays the zip under wine on an X
# server of its own (play_under_wine.py), and runs the market's tests (the
# recorded trajectory among them), the input's, the shops' and the data
# files' under wine. Screenshots land in build-windows/wine-shots/.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/packages.sh

start=$SECONDS
ensure_packages wine wine64 xvfb xauth xdotool imagemagick python3 unzip
packaging/windows/build.sh --tests
source packaging/windows/test-suites.sh
built=$SECONDS

scratch=$(mktemp -d /tmp/pellucane-wine-check-XXXXXX)
export WINEPREFIX=$scratch/wine
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
# no wait for Mono and Gecko, which cannot be downloaded
export WINEDLLOVERRIDES="mscoree=;mshtml=" WINEDEBUG=-all LIBGL_ALWAYS_SOFTWARE=1

version=$(sed -n 's/^project(Pellucane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=pellucane-$version-win64
python3 tests/windows/play_under_wine.py "build-windows/$name.zip" build-windows/wine-shots
played=$SECONDS

# The test programs that need no X-only or Linux-only helper, beside the
# DLLs, from the clone's root (the tests read data/ by its path, which wine
# finds on drive Z:). Not here: play/ (drives the game with xdotool), app/
# and render/ (run the game through a POSIX shell and read its exit status,
# or its peak memory with getrusage), audio/ (looks for open files in
# /proc/self/fd, and removes files while they are open).
cp build-windows/"$name"/*.dll build-windows/tests/
passed=0
for suite in "${WINDOWS_TEST_SUITES[@]}"; do
  log=build-windows/$suite-wine.log
  status=0
  SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1280x1024x24" \
    wine "build-windows/tests/$suite.exe" >"$log" 2>&1 || status=$?
  count=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")
  if [ "$status" -ne 0 ] || [ -z "$count" ] || grep -q '^\[  FAILED  \]' "$log"; then
    cat "$log" >&2
    echo "wine-check: $suite failed under wine (status $status)" >&2
    exit 1
  fi
  echo "wine-check: $suite: $count tests passed under wine" >&2
  passed=$((passed + count))
done
tested=$SECONDS
printf 'wine-check: %d s building, %d s playing the zip, %d s of tests\n' \
  $((built - start)) $((played - built)) $((tested - played)) >&2
# the tests under wine and the play-through
echo "wine: $((passed + 1)) passed, 0 failed"
