# shellcheck shell=bash
# Drives the real game from a shell script as a player would, in an X server
# of its own: what GameWindow.h does for the C++ tests, for the scripts that
# source this file (tests/broken-data.sh, tests/valgrind-play.sh). xdotool
# sends the mouse and the keys; the game's standard output, a line for every
# shop command carried out, tells when it has handled them.
#
#   source tests/support/game-window.sh
#   start_display                          # DISPLAY set; the server stops on exit
#   start_game trace.txt errors.txt ../build/pellucane
#   wait_for_window && go_to_street a s     # one key answered on each still screen
#   type_keys 8 0; wait_for_trace 4
#   hold_mouse_at 195 118; wait_for_trace 5; release_mouse
#   end_game; echo "$game_outcome"
#
# Every wait ends as soon as the game has ended, and after answer_seconds at
# the latest; a wait that runs out while the game runs makes the outcome
# "no answer". The steps work with and without set -eu. A window pixel maps
# to game units as x = pixel / 10.24 - 50, y = 75 - pixel / 10.24.
#
# game_outcome and game_window are read by the scripts that source this file.
# shellcheck disable=SC2034

# How long each wait allows the game, seconds.
answer_seconds=60
# The game's process, its output files, its window, how it ended.
game_pid=""
game_trace=""
game_errors=""
game_window=""
game_outcome=""
# whether a wait ran out while the game was running
game_unanswered=""
# the X server's process
display_pid=""

# Commands (with their arguments) run when the script exits, the last added
# first.
exit_steps=()
at_exit() {
  local step
  printf -v step '%q ' "$@"
  exit_steps=("$step" "${exit_steps[@]}")
  trap run_exit_steps EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}
run_exit_steps() {
  local step
  for step in "${exit_steps[@]}"; do
    eval "$step"
  done
}

# Starts Xvfb on a free display and sets DISPLAY to it; Xvfb writes the
# display's number when it accepts clients.
start_display() {
  local fd number=""
  exec {fd}< <(exec Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp \
    3>&1 >/dev/null 2>&1)
  display_pid=$!
  at_exit stop_display
  read -r -t "$answer_seconds" number <&"$fd" || true
  exec {fd}<&-
  if [ -z "$number" ]; then
    echo "game-window.sh: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$number"
}

stop_display() {
  if [ -n "$display_pid" ]; then
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
    display_pid=""
  fi
  return 0
}

# Runs the command (the game, or the game under a tool) in the current folder
# with its standard output in trace and its standard error in errors.
start_game() {
  game_trace=$1
  game_errors=$2
  shift 2
  : >"$game_trace"
  : >"$game_errors"
  game_window=""
  game_outcome=""
  game_unanswered=""
  "$@" >>"$game_trace" 2>>"$game_errors" &
  game_pid=$!
  at_exit end_game
}

game_running() {
  [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null
}

# Lines the game has written to standard output so far; with a pattern (an
# extended regular expression), the lines that match it.
trace_lines() {
  grep -c -E -e "${1:-}" "$game_trace" || true
}

# Waits until command (a shell function) succeeds, the game has ended or the
# time is up; true in the first case only.
wait_until() {
  local end=$((SECONDS + answer_seconds))
  while ! "$@"; do
    if ! game_running; then
      return 1
    fi
    if [ $SECONDS -ge $end ]; then
      game_unanswered=yes
      return 1
    fi
    sleep 0.05
  done
}

window_shows() {
  game_window=$(xdotool search --onlyvisible --name '^Pellucane$' 2>/dev/null | head -1) || true
  [ -n "$game_window" ]
}

# Until the game's window shows; false if the game ended without one.
wait_for_window() {
  wait_until window_shows
}

trace_has() {
  [ "$(trace_lines "${2:-}")" -ge "$1" ]
}

# Until the game has written count trace lines in all, or count that match
# the pattern.
wait_for_trace() {
  wait_until trace_has "$1" "${2:-}"
}

# Key presses sent to the window, xdotool's key names ("a", "comma", "8").
type_keys() {
  xdotool key --window "$game_window" "$@" >/dev/null 2>&1 || true
}

# Through the title and the instructions to the street, a click on each.
# Before each click, a key that a shop with money answers (the game reads
# keys on every screen) and its line: the game is handling input then, and
# draws the screen before it reads the click.
go_to_street() {
  local key before
  for key in "$1" "$2"; do
    before=$(trace_lines)
    type_keys "$key"
    wait_for_trace $((before + 1)) || return 1
    xdotool mousemove --window "$game_window" 512 384 click 1 >/dev/null 2>&1 || true
  done
}

# The mouse moved to window pixel (x, y), origin top left.
move_mouse_to() {
  xdotool mousemove --window "$game_window" "$1" "$2" >/dev/null 2>&1 || true
}

# The left button pressed at window pixel (x, y) and held there, and let go.
hold_mouse_at() {
  xdotool mousemove --window "$game_window" "$1" "$2" mousedown 1 >/dev/null 2>&1 || true
}
release_mouse() {
  xdotool mouseup 1 >/dev/null 2>&1 || true
}

# Ends the game with SIGTERM (unless it has ended already) and sets
# game_outcome: "ran" (running and answering until SIGTERM), "no answer"
# (running, but a wait ran out), "exit N", "signal N", "died at SIGTERM",
# "hung at SIGTERM" (killed after answer_seconds), or "sanitizer" whenever
# standard error holds a sanitizer's report.
end_game() {
  [ -n "$game_pid" ] || return 0
  local status=0 sent=""
  if game_running; then
    kill -TERM "$game_pid" 2>/dev/null || true
    sent=yes
    wait_until game_ended || true
    if game_running; then
      kill -KILL "$game_pid" 2>/dev/null || true
      sent=hung
    fi
  fi
  wait "$game_pid" || status=$?
  game_pid=""
  if [ "$sent" = hung ]; then
    game_outcome="hung at SIGTERM"
  elif [ "$sent" = yes ] && [ $status -eq 143 ]; then
    game_outcome=ran
    if [ -n "$game_unanswered" ]; then game_outcome="no answer"; fi
  elif [ -n "$sent" ]; then
    game_outcome="died at SIGTERM"
  elif [ $status -gt 128 ]; then
    game_outcome="signal $((status - 128))"
  else
    game_outcome="exit $status"
  fi
  if grep -q -e 'Sanitizer' -e 'runtime error' "$game_errors"; then
    game_outcome=sanitizer
  fi
}

game_ended() {
  ! game_running
}
