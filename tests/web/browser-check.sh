#!/usr/bin/env bash
# Builds the web zip (packaging/web/build.sh), unzips it into a scratch
# folder and runs the play-through tests on it, the page opened in headless
# Chromium through the one driver of the game window, as the Linux build's
# are (the Linux test program drives it). With --benchmark, the page's
# benchmark instead: the time to the title and the frames a second while
# the street is busy (bench/PageBenchmark.cpp). Given a zip (a release's),
# it plays that one in place of the one it builds.
# Then a room's game: the page, handed out by the game server at the
# room's address, plays beside two of the Linux build's windows.
# Usage: tests/web/browser-check.sh [--benchmark] [ZIP]
set -euo pipefail
targets=(play_tests net_tests)
[ "${1:-}" = --benchmark ] && targets=(pellucane_bench) && shift
zip=${1:+$(readlink -f "$1")}
cd "$(dirname "$0")/../.."
source scripts/packages.sh

start=$SECONDS
ensure_packages chromium python3 unzip "${TEST_PACKAGES[@]}"
[ -n "$zip" ] || packaging/web/build.sh
build_game ON --target "${targets[@]}"
built=$SECONDS

scratch=$(mktemp -d /tmp/pellucane-browser-check-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
version=$(project_version)
name=pellucane-$version-web
unzip -q "${zip:-build-web/$name.zip}" -d "$scratch"
export PELLUCANE_PLAY_PAGE="$scratch/$name"

# The zip holds every licence its README.txt names: the files it names, at
# its root or in licences/, and a licence in licences/ for each library.
licences_named() {
  local site=$1 licence lacking=0
  for licence in $(grep -oP '(?<![-*\w/.])\w[\w/.-]*\.txt' "$site/README.txt") \
    zlib libpng freetype SDL2 SDL2_mixer emscripten; do
    compgen -G "$site/$licence" >/dev/null || compgen -G "$site/licences/$licence" >/dev/null ||
      compgen -G "$site/licences/${licence}[.-]*" >/dev/null || {
      echo "browser-check: README.txt names $licence, whose licence the zip lacks" >&2
      lacking=1
    }
  done
  return "$lacking"
}
licences_named "$PELLUCANE_PLAY_PAGE"
if [ "${targets[0]}" = pellucane_bench ]; then
  exec build/bench/pellucane_bench --benchmark_filter=Page
fi
# Every play-through test but five, which test what a page cannot be asked:
# - a key held while the game stands still: a page's script cannot be
#   stopped as a process is (SIGSTOP), and the browser sends no repeats of
#   a key held through DevTools;
# - windows of no size, or of 1600 by 1200 and under a window manager: the
#   page cannot resize the browser's window, and the canvas fills whatever
#   the page has (the Page tests check it in windows of two shapes);
# - SIGINT and SIGTERM: a page has no signals.
# The first test checks that the page's sound starts with the first press
# instead of reading SDL's disk-audio file, which a page has none of.
left_out=AHeldKeyActsOnceHoweverLateTheGameHandlesIt:NoWindowSizeEndsTheGame
left_out+=:AWindowDraggedLargerShowsTheWholeGameAndClicksLandWhereAimed
left_out+=:AWindowHeldWiderThanFourByThreeShowsTheWholeGameLetterboxed
left_out+=:InterruptAndTerminateEndTheGame
log=build-web/play-browser.log
if ! nice -n 19 build/tests/play_tests --gtest_filter="-PlayThrough.${left_out//:/:PlayThrough.}" \
  >"$log" 2>&1; then
  cat "$log" >&2
  echo "browser-check: the play-through tests failed in the browser" >&2
  exit 1
fi
played=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")
# (The test reads the street's sidebar in a GL context of its own: an X server.)
log=build-web/net-browser.log
if ! nice -n 19 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  build/tests/net_tests --gtest_filter='NetworkGame.*' >"$log" 2>&1; then
  cat "$log" >&2
  echo "browser-check: the page did not play its room's game" >&2
  exit 1
fi
played=$((played + $(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")))
printf 'browser-check: %d s building, %d s playing the page\n' \
  $((built - start)) $((SECONDS - built)) >&2
echo "browser: $played passed, 0 failed"
