#!/usr/bin/env bash
# Records the game's own sound output while it is played, and counts the
# clipped samples in it.  Starts the game from data/ with SDL's disk audio
# device, clicks through the title and the instructions, then presses the
# keyboard shops' keys on a fixed schedule (signs, sales, window displays,
# handout guys, free hats, several at once now and then) for the given
# seconds (default 120).  Writes the raw output (signed 16-bit, stereo,
# 44100 Hz) to the given file and prints how many samples of the street's
# seconds sit at full scale.
#   xvfb-run -a -s "-screen 0 1280x1024x24" tools/record-play.sh OUT.raw [seconds] [game]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "$1")
seconds=${2:-120}
game=$(realpath "${3:-build/pellucane}")
rm -f "$out"
cd data
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$out" "$game" >/dev/null 2>&1 &
pid=$!
trap 'kill -TERM $pid 2>/dev/null || true' EXIT
window=$(timeout 120 xdotool search --sync --onlyvisible --name '^Pellucane$' | head -1)
sleep 3
xdotool mousemove --window "$window" 512 384 click --window "$window" 1 sleep 2 click --window "$window" 1
street=$(stat -c %s "$out")
start=$SECONDS
# one step every 4 s; a step of several keys presses them together
steps=("d" "1" "x" "l" "8" "m" "d l" "2" "i" "x m" "z" "3 0" "n" "s" "k" "c"
       "comma" "a j" "1 8 x m" "e p" "z n" "c comma" "d l s k" "x" "m" "w o"
       "1 2 3" "8 9 0" "a" "j")
step=0
# until the file holds the street's seconds (the device writes at its own pace)
while [ "$(stat -c %s "$out")" -lt $((street + seconds * 44100 * 4)) ]; do
  if [ $((SECONDS - start)) -ge $((step * 4)) ] && [ $step -lt ${#steps[@]} ]; then
    for key in ${steps[step]}; do
      xdotool key --window "$window" "$key" 2>/dev/null
    done
    step=$((step + 1))
  fi
  sleep 0.2
done
kill -TERM $pid
wait $pid || true
trap - EXIT
python3 - "$out" "$street" "$seconds" <<'PY'
import array, sys
path, street, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = array.array("h", open(path, "rb").read())
data = data[street // 2:][: seconds * 44100 * 2]
clipped = sum(1 for v in data if v >= 32767 or v <= -32768)
peak = max(abs(v) for v in data)
print(f"{len(data) / 88200:.1f} s of the street, {clipped} clipped samples, peak {peak}")
PY
