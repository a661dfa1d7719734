#!/usr/bin/env bash
# Plays the game under Valgrind's memcheck: the title, the instructions, then
# seconds (default 40) of the street with clicks on the sidebar and keys of
# both keyboard shops; then SIGTERM. Prints memcheck's summary and counts the
# errors (invalid reads and writes, uses of uninitialised memory) with a
# frame in the game itself; the GL driver's own are in valgrind.supp.
#   tests/valgrind-play.sh [game binary, default build/pellucane] [seconds]
# Needs an X display (xvfb-run -a -s "-screen 0 1280x1024x24").
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
game=$(realpath "${1:-build/pellucane}")
seconds=${2:-40}
suppressions=$PWD/tests/sanitizers/valgrind.supp
log=$(mktemp)
cd data || exit 1

# softpipe: llvmpipe's generated code is more than memcheck can follow well
LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=softpipe SDL_AUDIODRIVER=dummy \
  valgrind --tool=memcheck --track-origins=yes --suppressions="$suppressions" \
  --log-file="$log" "$game" >"$log.trace" 2>/dev/null &
pid=$!
window=$(timeout 300 xdotool search --sync --onlyvisible --name '^Pellucane$' | head -1)
sleep 5
xdotool mousemove --window "$window" 512 384 click --window "$window" 1 sleep 3 click --window "$window" 1
end=$((SECONDS + seconds))
keys=(a s d z x c 1 2 3 h j k n m comma 8 9 0)
while [ $SECONDS -lt $end ]; do
  xdotool key --window "$window" "${keys[RANDOM % ${#keys[@]}]}"
  xdotool mousemove --window "$window" 40 $((60 + RANDOM % 250)) mousedown --window "$window" 1 sleep 0.3 mouseup --window "$window" 1
  sleep 1
done
kill -TERM "$pid"
wait "$pid"

echo "$(wc -l <"$log.trace") shop commands carried out while playing"
grep -A2 'ERROR SUMMARY' "$log"
ours=$(awk '/^==[0-9]+== (Invalid|Conditional|Use of uninit|Syscall param)/ {block=1; mine=0}
  block && /in .*\/pellucane\)|\/(app|audio|input|market|render|shop)\/[A-Za-z]+\.cpp/ {mine=1}
  block && /^==[0-9]+== $/ {if (mine) count++; block=0}
  END {print count + 0}' "$log")
echo "errors with a frame in the game: $ours (full log: $log)"
[ "$ours" -eq 0 ]
