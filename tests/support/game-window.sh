# shellcheck shell=bash
# Plays the real game from a shell script through the game-window command,
# the driver of the game's window (tests/support/GameWindowCommand.cpp lists
# its steps), which runs beside the script with an X server of its own:
#
#   source tests/support/game-window.sh
#   start_game build/tests/game-window -- ../build/pellucane   # in the data folder
#   drive frame title && drive key a && drive lines 1
#   drive end; echo "$answer"                                  # "ran", "exit 1", ...
#
# drive sends a step and puts the driver's answer in $answer; it fails when
# the answer is "no".

answer=""

# Starts the driver (its command line) as a coprocess.
start_game() {
  coproc GAME_WINDOW { "$@"; }
}

drive() {
  echo "$*" >&"${GAME_WINDOW[1]}"
  IFS= read -r answer <&"${GAME_WINDOW[0]}" || answer=no
  [ "$answer" != no ]
}

# Through the title and the instructions to the street, a click on each.
# Before each click, a key that a shop with money answers (the game reads
# keys on every screen) and its line: the game is handling input then, and
# draws the screen before it reads the click.
go_to_street() {
  local key before
  drive move 0 37.5 || return
  for key in "$1" "$2"; do
    drive count && before=$answer || return
    drive key "$key" && drive lines $((before + 1)) && drive click || return
  done
}
