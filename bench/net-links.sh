#!/usr/bin/env bash
# Times the networked game over emulated internet paths: the server here on
# 10.73.0.1, two games (HOTBEATS' keyboard, left, and the other keyboard's
# seat, right) each in a network namespace of its own behind its own link
# (scripts/netns-link.sh), each in an X server of its own through the
# game-window driver. As root, with /dev/net/tun:
#
#   bench/net-links.sh [BUILD]      # default build-linkemu
#
# BUILD holds pellucane, pellucane-server and tests/game-window; the data and
# the scripts are this tree's.
# (a) HOTBEATS' '1' pressed PELLUCANE_NET_PRESSES times (60 unless set) at each path, both
# links set alike: one-way delay with 20% jitter, and loss. The time runs
# from the driver's key step (xdotool starts, ~30 ms, then presses) to the
# trace line, stamped as the game writes it: at the pressing machine
# ("own") and at the other ("other"); "after xdotool" runs from the step's
# answer, the key pressed by then.
# (b) HOTBEATS' link alone stalled 2 s, 8 s, 30 s, 90 s, or reset, at 50 ms +-20%, a key
# pressed at once: when its lines come, whether a key pressed after them
# is carried out, and what the game said when (s after the cut). A fresh
# room for each.
# PELLUCANE_NET_PARTS="paths" or "cuts" runs one of the two. Prints the
# tables. A benchmark, not a test: nothing fails on a figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build-linkemu}")
presses=${PELLUCANE_NET_PRESSES:-60}
parts=${PELLUCANE_NET_PARTS:-paths cuts}
port=${PELLUCANE_BENCH_PORT:-7355}
server_address=10.73.0.1
# the emulator: PELLUCANE_LINKEMU, or the build's (another tree's build may have none)
emulator=${PELLUCANE_LINKEMU:-$build/tools/linkemu/pellucane-linkemu}
export PELLUCANE_LINKEMU=$emulator
for program in "$build"/{pellucane,pellucane-server,tests/game-window} "$emulator"; do
  [ -x "$program" ] || { echo "net-links: no $program: build it first" >&2; exit 2; }
done
work=$(mktemp -d /tmp/pellucane-net-links-XXXXXX)
seats=(left right)
declare -A to from stamps holders hold_fds drivers
server=""
links=0
RANDOM=7

# Ends the games, the server and the links, by the ids this script holds.
finish() {
  local seat fd
  for seat in "${seats[@]}"; do end_game "$seat"; done
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" || true; fi
  # a link's holding command ends as its input closes; the link then goes
  for fd in "${hold_fds[@]}"; do exec {fd}>&-; done
  for seat in "${!holders[@]}"; do wait "${holders[$seat]}" || true; done
  rm -rf "$work"
}
trap finish EXIT

# Closes, in a child about to start, the descriptors this script holds for
# the others: a driver reads its steps until they close.
close_ours() {
  local fd
  for fd in "${to[@]}" "${from[@]}" "${stamps[@]}" "${hold_fds[@]}"; do exec {fd}>&-; done
}

# One step to a seat's driver; its answer in $answer, failing on "no".
drive() {
  local seat=$1
  shift
  echo "$*" >&"${to[$seat]}"
  IFS= read -r answer <&"${from[$seat]}" || answer=no
  [ "$answer" != no ]
}

tell() { "$emulator" --tell "/run/pellucane-netns-link/bench-$1.sock" "${@:2}" >/dev/null; }

# A player's link, held up by a command that waits for its standard input to close.
open_link() {
  local seat=$1 up
  links=$((links + 1))
  mkfifo "$work/$seat.hold" "$work/$seat.up"
  (close_ours && exec "$root/scripts/netns-link.sh" --seconds 3600 --seed "$links" "bench-$seat" -- \
    sh -c 'echo up; exec cat >/dev/null') <"$work/$seat.hold" >"$work/$seat.up" 2>>"$work/links.log" &
  holders[$seat]=$!
  exec {hold}>"$work/$seat.hold" {up}<"$work/$seat.up"
  hold_fds[$seat]=$hold
  read -r -t 30 up <&"$up" || true
  if [ "$up" != up ]; then
    cat "$work/links.log" >&2
    exit 1
  fi
}

start_server() {
  (close_ours && exec "$build/pellucane-server" --address "$server_address" --port "$port" \
    --recordings "$work") 2>"$work/server.log" &
  server=$!
  local tries
  for tries in $(seq 100); do
    if grep -q listening "$work/server.log"; then return; fi
    sleep 0.05
  done
  echo "net-links: the server did not start (after $tries looks)" >&2
  cat "$work/server.log" >&2
  exit 1
}

# The game wrapped: its process id to a file, each trace line stamped (the
# realtime clock, s) to a FIFO as it comes, and each line on standard error
# to a file, then the game in the seat's namespace.
# shellcheck disable=SC2016 # expanded by the wrapper's own shell
wrapper='echo $$ >"$1.pid"
exec > >(while IFS= read -r line; do printf "%s\n" "$line"; printf "%s %s\n" "$EPOCHREALTIME" "$line" >&3; done 3>"$1.stamps")
exec 2> >(while IFS= read -r line; do printf "%s\n" "$line" >&2; printf "%s %s\n" "$EPOCHREALTIME" "$line" >>"$1.said"; done)
exec ip netns exec "$2" "${@:3}"'

# A seat's game joins the room and goes to the street.
start_game() {
  local seat=$1 room=$2 files=$work/$1
  rm -f "$files".in "$files".out "$files".stamps "$files".said
  mkfifo "$files.in" "$files.out" "$files.stamps"
  exec {stamp}<>"$files.stamps"
  stamps[$seat]=$stamp
  (close_ours && cd "$root/data" && exec "$build/tests/game-window" -- bash -c "$wrapper" game "$files" "bench-$seat" \
    "$build/pellucane" --join "$server_address:$port/$room" --seats "$seat") \
    <"$files.in" >"$files.out" 2>>"$work/drivers.log" &
  drivers[$seat]=$!
  exec {in}>"$files.in" {out}<"$files.out"
  to[$seat]=$in
  from[$seat]=$out
  if ! { drive "$seat" frame title && drive "$seat" click && drive "$seat" frame instructions &&
    drive "$seat" click; }; then
    echo "net-links: $seat's game did not reach the street" >&2
    exit 1
  fi
}

end_game() {
  local seat=$1 fd
  [ -n "${drivers[$seat]:-}" ] || return 0
  drive "$seat" end || true
  for fd in "${to[$seat]}" "${from[$seat]}" "${stamps[$seat]}"; do exec {fd}>&-; done
  wait "${drivers[$seat]}" || true
  unset "drivers[$seat]"
}

# The next trace line's stamp at a seat, or "none" after that many seconds.
next_stamp() {
  local stamp _
  if read -r -t "$2" stamp _ <&"${stamps[$1]}"; then echo "$stamp"; else echo none; fi
}

ms() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "none") print "none"; else printf "%.1f", (a - b) * 1000 }'; }

# (a): one path's presses; a line "LABEL METRIC MS" a figure.
time_presses() {
  local label=$1 start answered own other
  drive left key 1 # a first press, its lines out of the way
  next_stamp left 30 >/dev/null
  next_stamp right 30 >/dev/null
  for _ in $(seq "$presses"); do
    start=$EPOCHREALTIME
    drive left key 1
    answered=$EPOCHREALTIME
    own=$(next_stamp left 30)
    other=$(next_stamp right 30)
    echo "$label own $(ms "$own" "$start")"
    echo "$label after-xdotool $(ms "$own" "$answered")"
    echo "$label other $(ms "$other" "$start")"
    echo "$label xdotool $(ms "$answered" "$start")"
    # presses fall anywhere in the ticks' and frames' phases
    sleep "$(printf '0.%03d' $((RANDOM % 40)))"
  done
}

paths() {
  local delay loss
  start_game left PATHS
  start_game right PATHS
  for path in "0 0" "25 0" "50 0" "100 0" "150 0" "50 1" "50 5"; do
    read -r delay loss <<<"$path"
    for seat in "${seats[@]}"; do tell "$seat" clear "delay $delay jitter 20" "loss $loss"; done
    echo "net-links: ${delay} ms, ${loss}% loss" >&2
    time_presses "$delay/$loss" >>"$work/figures"
    # the machine's load over the last minute, which the figures follow on a shared machine
    echo "$delay/$loss load $(cut -d' ' -f1 /proc/loadavg)" >>"$work/figures"
  done
  for seat in "${seats[@]}"; do end_game "$seat"; tell "$seat" clear; done
}

# (b): one cut of HOTBEATS' link; a line of what happened.
cut_link() {
  local what=$1 room=$2 start cut_at own other again state said heard logged
  logged=$(wc -l <"$work/server.log")
  for seat in "${seats[@]}"; do tell "$seat" "delay 50 jitter 20"; done
  start_game left "$room"
  start_game right "$room"
  drive left key 1
  next_stamp left 30 >/dev/null
  next_stamp right 30 >/dev/null
  # a line may come only once the cut is over: wait for it 30 s past that
  local bound=30
  if [[ $what == stall* ]]; then bound=$((${what#stall } / 1000 + 30)); fi
  cut_at=$EPOCHREALTIME
  tell left "$what"
  drive left key 1
  own=$(ms "$(next_stamp left "$bound")" "$cut_at")
  other=$(ms "$(next_stamp right "$bound")" "$cut_at")
  start=$EPOCHREALTIME
  drive left key 1
  again=$(ms "$(next_stamp left 15)" "$start")
  state=running
  kill -0 "$(cat "$work/left.pid")" 2>/dev/null || state=ended
  said=$(awk -v at="$cut_at" '$1 >= at { $1 = sprintf("+%.1f s:", $1 - at); sub(/ pellucane: /, " ");
    printf "%s ", $0 }' "$work/left.said")
  heard=$(tail -n +$((logged + 1)) "$work/server.log" | sed 's/^pellucane-server: //' | tr '\n' ' ')
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$what" "$own" "$other" "$again" "$state" "${said:-nothing}" \
    "${heard:-nothing}" >>"$work/cuts"
  for seat in "${seats[@]}"; do end_game "$seat"; tell "$seat" clear; done
}

for seat in "${seats[@]}"; do open_link "$seat"; done
start_server
touch "$work/figures" "$work/cuts"
if [[ $parts == *paths* ]]; then paths; fi
if [[ $parts == *cuts* ]]; then
  cut_link "stall 2000" STALL2
  cut_link "stall 8000" STALL8
  cut_link "stall 30000" STALL30
  cut_link "stall 90000" STALL90
  cut_link reset RESET
fi

if [ -s "$work/figures" ]; then
  python3 - "$work/figures" "$presses" <<'PY'
import sys
figures = {}
for line in open(sys.argv[1]):
    label, metric, value = line.split()
    figures.setdefault((label, metric), []).append(float(value) if value != "none" else None)
print(f"(a) HOTBEATS' key to the trace lines, ms, {sys.argv[2]} presses a path, both links alike")
print("| one-way delay | loss | own median | own p95 | other median | other p95 | own after xdotool, median | xdotool, median | lines missing | load |")
print("|---|---|---|---|---|---|---|---|---|---|")
def cell(label, metric, at):
    values = sorted(v for v in figures[(label, metric)] if v is not None)
    return f"{values[min(len(values) - 1, int(at * len(values)))]:.0f}" if values else "-"
for label in dict.fromkeys(label for label, _ in figures):
    delay, loss = label.split("/")
    missing = sum(v is None for m in ("own", "other") for v in figures[(label, m)])
    print(f"| {delay} ms +-20% | {loss}% | {cell(label, 'own', 0.5)} | {cell(label, 'own', 0.95)} | "
          f"{cell(label, 'other', 0.5)} | {cell(label, 'other', 0.95)} | "
          f"{cell(label, 'after-xdotool', 0.5)} | {cell(label, 'xdotool', 0.5)} | {missing} | "
          f"{figures[(label, 'load')][0]:.1f} |")
PY
  echo
fi
if [ -s "$work/cuts" ]; then
  echo "(b) HOTBEATS' link cut, a key pressed at once (50 ms +-20% each way): ms to its lines"
  echo "| cut | own line | other's line | next key's own line | game | what the game said | what the server said |"
  echo "|---|---|---|---|---|---|---|"
  while IFS=$'\t' read -r what own other again state said heard; do
    echo "| $what | $own | $other | $again | $state | $said | $heard |"
  done <"$work/cuts"
  echo
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
