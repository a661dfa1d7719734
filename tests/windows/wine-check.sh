#!/usr/bin/env bash
# Builds the Windows zip and test programs for Windows
# (packaging/windows/build.sh --tests), unzips the game into a scratch
# folder and runs the play-through tests on it, the game started as
# "wine pellucane.exe" through the one driver of the game window, as the
# Linux build's are (the Linux test program drives it); then runs the
# market's tests (the recorded trajectory among them), the input's, the
# shops' and the data files' under wine; and a room's game, the Windows
# build playing beside two of the Linux build's windows. Given a zip (a
# release's), it plays that one in place of the one it builds.
# Usage: tests/windows/wine-check.sh [ZIP]
set -euo pipefail
zip=${1:+$(readlink -f "$1")}
cd "$(dirname "$0")/../.."
source scripts/packages.sh

start=$SECONDS
ensure_packages wine wine64 unzip icoutils binutils "${TEST_PACKAGES[@]}"
packaging/windows/build.sh --tests
source packaging/windows/test-suites.sh
build_game ON --target play_tests net_tests
built=$SECONDS

scratch=$(mktemp -d /tmp/pellucane-wine-check-XXXXXX)
export WINEPREFIX=$scratch/wine
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
# no wait for Mono and Gecko, which cannot be downloaded
export WINEDLLOVERRIDES="mscoree=;mshtml=" WINEDEBUG=-all LIBGL_ALWAYS_SOFTWARE=1

version=$(project_version)
name=pellucane-$version-win64
unzip -q "${zip:-build-windows/$name.zip}" -d "$scratch"

# The program carries the Linux package's icon, PNG for PNG, at the sizes
# Windows shows, and its version and product name in its file properties.
exe=$scratch/$name/pellucane.exe
wrestool -x --type=group_icon --name=GLUT_ICON "$exe" -o "$scratch/icon.ico"
icotool -x -o "$scratch" "$scratch/icon.ico"
for size in 16 32 48 256; do
  cmp -s "$scratch/icon_"*"_${size}x${size}x32.png" "data/icons/pellucane-$size.png" ||
    { echo "wine-check: the program's $size-pixel icon is not data/icons/pellucane-$size.png" >&2; exit 1; }
done
IFS=. read -r major minor patch <<<"$version"
fixed=$(wrestool -x --raw --type=version "$exe" | od -An -tx4 -v -w4 | grep -A5 -x ' feef04bd' | tail -4 | tr -d ' \n')
[ "$fixed" = "$(printf '%04x%04x%04x0000' "$major" "$minor" "$patch" "$major" "$minor" "$patch")" ] ||
  { echo "wine-check: the program's file and product version numbers are $fixed, not $version" >&2; exit 1; }
properties=$(wrestool -x --raw --type=version "$exe" | strings -el -n 1 | paste -sd '|')
for property in "ProductName|Pellucane|" "ProductVersion|$version|" "FileVersion|$version|" "FileDescription|Pellucane: "; do
  grep -qF "|$property" <<<"|$properties|" ||
    { echo "wine-check: the program's properties lack $property ($properties)" >&2; exit 1; }
done
echo "wine-check: the program's icon and version ($version) are in place" >&2

# Every play-through test but four, which test what Windows does otherwise:
# - a key let go while another window has the keyboard: GetAsyncKeyState
#   follows the keyboard whoever has it, but wine's key state learns of
#   releases only from its own windows' events, so the next press of such a
#   key does not act even once the game has the keyboard again;
# - windows of no size: Windows keeps a window at least 108 by 81 pixels,
#   so the sizes the test asks for never come;
# - SIGINT and SIGTERM: Windows programs have none, and wine's process does
#   not end by them.
# - a window that a window manager holds at another size: Windows has no
#   window manager, and wine takes the size the game asks for as granted
#   while X's window manager keeps the window at its own.
# The waits are longer: a fresh wine prefix alone takes 10 to 15 s on a
# busy machine.
left_out=AKeyLetGoElsewhereActsOnItsNextPress:NoWindowSizeEndsTheGame:InterruptAndTerminateEndTheGame
left_out+=:AWindowHeldWiderThanFourByThreeShowsTheWholeGameLetterboxed
log=build-windows/play-wine.log
if ! PELLUCANE_PLAY_COMMAND="wine $scratch/$name/pellucane.exe" PELLUCANE_ANSWER_SECONDS=180 \
  build/tests/play_tests --gtest_filter="-PlayThrough.${left_out//:/:PlayThrough.}" >"$log" 2>&1; then
  cat "$log" >&2
  echo "wine-check: the play-through tests failed under wine" >&2
  exit 1
fi
played=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")
echo "wine-check: $played play-through tests passed under wine" >&2
# The zip's game server answers, and its game plays a room with Linux's.
server_version=$(wine "$scratch/$name/pellucane-server.exe" --version | tr -d '\r')
[ "$server_version" = "pellucane-server $version" ] ||
  { echo "wine-check: pellucane-server.exe --version says \"$server_version\"" >&2; exit 1; }
# (Each Windows game in a wine prefix of its own: see wine-own-prefix.sh.
# The test reads the street's sidebar in a GL context of its own: an X server.)
log=build-windows/net-wine.log
if ! PELLUCANE_PLAY_COMMAND="$PWD/tests/windows/wine-own-prefix.sh $scratch/$name/pellucane.exe" \
  PELLUCANE_ANSWER_SECONDS=180 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  build/tests/net_tests --gtest_filter='NetworkGame.*' >"$log" 2>&1; then
  cat "$log" >&2
  echo "wine-check: the Windows build did not play its room's game" >&2
  exit 1
fi
played=$((played + $(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")))
playing=$SECONDS

# The test programs that need no X-only or Linux-only helper, beside the
# DLLs, from the clone's root (the tests read data/ by its path, which wine
# finds on drive Z:). Not here: play/ (the Linux program drives the game, above), app/
# and render/ (run the game through a POSIX shell and read its exit status,
# or its peak memory with getrusage), audio/ (looks for open files in
# /proc/self/fd, and removes files while they are open).
cp build-windows/"$name"/*.dll build-windows/tests/
passed=$played
for suite in "${WINDOWS_TEST_SUITES[@]}"; do
  log=build-windows/$suite-wine.log
  status=0
  SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
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
  $((built - start)) $((playing - built)) $((tested - playing)) >&2
echo "wine: $passed passed, 0 failed"
