#!/usr/bin/env bash
# Records the game's own sound output while it is played, and counts the
# clipped samples in it.  Starts the game from data/ with SDL's disk audio
# device through the game-window driver, clicks through the title and the
# instructions, then presses the keyboard shops' keys on a fixed schedule of
# the sound's own time (signs, sales, window displays, handout guys, free
# hats, several at once now and then) for the given seconds (default 120).
# Writes the raw output (signed 16-bit, stereo, 44100 Hz) to the given file
# and prints how many samples of the street's seconds sit at full scale.
#   tools/record-play.sh OUT.raw [seconds] [game, default build/pellucane]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "$1")
seconds=${2:-120}
game=$(realpath "${3:-build/pellucane}")
# the driver of the game window, from the plain build
driver=$PWD/build/tests/game-window
# shellcheck source-path=SCRIPTDIR/..
source tests/support/game-window.sh
rm -f "$out"
cd data
start_game "$driver" --sound "$out" -- "$game"
drive frame title && drive click && drive frame instructions && drive click
street=$(stat -c %s "$out")
# a second of sound, bytes
second=$((44100 * 4))
# one step every 4 s; a step of several keys presses them together
steps=("d" "1" "x" "l" "8" "m" "d l" "2" "i" "x m" "z" "3 0" "n" "s" "k" "c"
       "comma" "a j" "1 8 x m" "e p" "z n" "c comma" "d l s k" "x" "m" "w o"
       "1 2 3" "8 9 0" "a" "j")
step=0
# until the file holds the street's seconds (the device writes at its own pace)
while [ "$(stat -c %s "$out")" -lt $((street + seconds * second)) ]; do
  if [ "$(stat -c %s "$out")" -ge $((street + step * 4 * second)) ] && [ $step -lt ${#steps[@]} ]; then
    # shellcheck disable=SC2086 # a step's keys, one word each
    drive key ${steps[step]}
    step=$((step + 1))
  fi
  sleep 0.2
done
drive end
python3 - "$out" "$street" "$seconds" <<'PY'
import array, sys
path, street, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = array.array("h", open(path, "rb").read())
data = data[street // 2:][: seconds * 44100 * 2]
clipped = sum(1 for v in data if v >= 32767 or v <= -32768)
peak = max(abs(v) for v in data)
print(f"{len(data) / 88200:.1f} s of the street, {clipped} clipped samples, peak {peak}")
PY
