#!/usr/bin/env bash
# Plays the game under Valgrind's memcheck in an X server of its own: the
# title, the instructions, then seconds (default 40) of the street with random
# keys and sidebar spots held down; then SIGTERM. Each step waits for the
# game's answer (through the game-window driver): under memcheck a frame of the
# street can take a minute. Prints memcheck's summary and counts the errors
# (invalid reads and writes, uses of uninitialised memory) with a frame in the
# game itself; the GL driver's own are in valgrind.supp. Fails on those, and
# when the game crashed or stopped answering.
#   tests/valgrind-play.sh [game binary, default build/pellucane] [seconds]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
game=$(realpath "${1:-build/pellucane}")
seconds=${2:-40}
suppressions=$PWD/tests/sanitizers/valgrind.supp
# the driver of the game window, from the plain build
driver=$PWD/build/tests/game-window
# shellcheck source-path=SCRIPTDIR/..
source tests/support/game-window.sh
export PELLUCANE_ANSWER_SECONDS=300
log=$(mktemp)
cd data || exit 1

# softpipe: llvmpipe's generated code is more than memcheck can follow well
start_game "$driver" -- env LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=softpipe \
  valgrind --tool=memcheck --track-origins=yes --suppressions="$suppressions" \
  --log-file="$log" "$game"

# A round: a spot of the sidebar held down, a random key, and a key that
# ends the round: a 40, 50 or 60% sale of TOP TUNES, whose line nothing
# else in the round writes. When it comes, the game has handled the press
# and the key before it, and its next update sees the button down. TOP
# TUNES plays only sales, which cost nothing: it never runs out of money,
# and so it answers even once the game is over.
keys=(a s d z x c 1 2 3 h 8 9 0)
round_ends=(i o p)
round_lines='^[456]0% BUTTON$'
# A random spot on the sign or the promotion band (the strip slides out, and
# a button that comes under the cursor fires), or the product button.
sidebar_spot() {
  case $((RANDOM % 3)) in
    0) echo "$((RANDOM % 32 - 46)) 71.5" ;;
    1) echo "$((RANDOM % 32 - 46)) 55.5" ;;
    *) echo "-46 31.5" ;;
  esac
}
trace=0
if drive window && go_to_street 1 8; then
  end=$((SECONDS + seconds))
  while [ $SECONDS -lt $end ]; do
    drive count "$round_lines" && rounds=$answer || break
    # shellcheck disable=SC2046 # the spot's two numbers
    drive move $(sidebar_spot) && drive down || break
    drive key "${keys[RANDOM % ${#keys[@]}]}" "${round_ends[RANDOM % ${#round_ends[@]}]}" &&
      drive lines $((rounds + 1)) "$round_lines" && drive up || break
  done
  drive count && trace=$answer
fi
drive end
outcome=$answer

echo "$trace shop commands carried out while playing"
grep -A2 'ERROR SUMMARY' "$log"
ours=$(awk '/^==[0-9]+== (Invalid|Conditional|Use of uninit|Syscall param)/ {block=1; mine=0}
  block && /in .*\/pellucane\)|\/(app|audio|input|market|render|shop)\/[A-Za-z]+\.cpp/ {mine=1}
  block && /^==[0-9]+== $/ {if (mine) count++; block=0}
  END {print count + 0}' "$log")
echo "errors with a frame in the game: $ours (full log: $log)"
if [ "$outcome" != ran ]; then
  echo "valgrind-play.sh: the game under memcheck: $outcome" >&2
fi
[ "$ours" -eq 0 ] && [ "$outcome" = ran ]
