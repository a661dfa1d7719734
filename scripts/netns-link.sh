#!/usr/bin/env bash
# Runs a command on a player's machine behind an emulated internet path: a
# network namespace of its own whose one way out is a wire, through the link
# emulator (tools/linkemu), to this machine's namespace, where the server
# runs. As root, with /dev/net/tun:
#
#   scripts/netns-link.sh [--seconds S] [--seed N] [--set LINE]... NAME -- COMMAND...
#
# This namespace's end of every link is 10.73.0.1, the server's address
# (pellucane-server --address 10.73.0.1); the player's end of link K is
# 10.73.K.2. No other address is routed either side. The command runs in
# namespace NAME with these in its environment:
#   PELLUCANE_LINK_CONTROL  the emulator's control socket: lines such as
#                           "delay 100 jitter 20", "loss 5", "stall 8000",
#                           "reset", "clear", "show" (see tools/linkemu/Impairment.h),
#                           sent with  pellucane-linkemu --tell PATH LINE...
#   PELLUCANE_LINK_SERVER   10.73.0.1
#   PELLUCANE_LINK_ADDRESS  the namespace's own address
# The control socket is /run/pellucane-netns-link/NAME.sock, for scripts
# outside the namespace too. --set lines apply before the command starts;
# --seconds bounds the emulator (default 3600), --seed its draws (default 1).
# The namespace, the devices and the emulator go when the command ends, or
# when this script is told to stop. The emulator is PELLUCANE_LINKEMU, or the
# build's (build/ or build-linkemu/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: scripts/netns-link.sh [--seconds S] [--seed N] [--set LINE]... NAME -- COMMAND..." >&2
  exit 2
}

options=()
while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do
  case $1 in
  --seconds | --seed | --set) [ $# -ge 2 ] || usage; options+=("$1" "$2"); shift 2 ;;
  *) usage ;;
  esac
done
if [ $# -lt 3 ] || [ "$2" != "--" ]; then usage; fi
name=$1
shift 2
[[ $name =~ ^[A-Za-z0-9_-]{1,32}$ ]] || { echo "netns-link: \"$name\" is no namespace name" >&2; exit 2; }

emulator=${PELLUCANE_LINKEMU:-}
for built in "$root"/build/tools/linkemu/pellucane-linkemu "$root"/build-linkemu/tools/linkemu/pellucane-linkemu; do
  if [ -z "$emulator" ] && [ -x "$built" ]; then emulator=$built; fi
done
[ -n "$emulator" ] || { echo "netns-link: no pellucane-linkemu built; set PELLUCANE_LINKEMU" >&2; exit 2; }
if [ "$(id -u)" -ne 0 ] || [ ! -c /dev/net/tun ]; then
  echo "netns-link: needs root and /dev/net/tun" >&2
  exit 2
fi
if ip netns list | grep -qw "^$name"; then
  echo "netns-link: namespace $name exists (another link, or one left: ip netns delete $name)" >&2
  exit 1
fi

server=10.73.0.1
controls=/run/pellucane-netns-link
control=$controls/$name.sock
command_pid=""
made_namespace=""

# Stops what this script started, by process id, and removes the namespace.
# The devices go with the emulator's descriptors.
# shellcheck disable=SC2317 # called by the traps
clean_up() {
  trap - EXIT INT TERM HUP
  if [ -n "$command_pid" ]; then kill -TERM "$command_pid" 2>/dev/null || true; wait "$command_pid" || true; fi
  if [ -n "$made_namespace" ]; then
    local left
    for left in $(ip netns pids "$name" 2>/dev/null); do kill -KILL "$left" 2>/dev/null || true; done
  fi
  if [ -n "${WIRE_PID:-}" ]; then kill -TERM "$WIRE_PID" 2>/dev/null || true; wait "$WIRE_PID" || true; fi
  if [ -n "$made_namespace" ]; then ip netns delete "$name" 2>/dev/null || true; fi
}
trap clean_up EXIT
trap 'clean_up; exit 143' INT TERM HUP

mkdir -p "$controls"
ip netns add "$name"
made_namespace=yes
ip -n "$name" link set lo up

# Link numbers are handed out one at a time: the first whose device is free.
exec {lock}>"$controls/lock"
flock -w 30 "$lock"
number=""
for k in $(seq 1 254); do
  if ! ip link show "plink$k-near" >/dev/null 2>&1; then number=$k; break; fi
done
[ -n "$number" ] || { echo "netns-link: every link number is taken" >&2; exit 1; }
near=plink$number-near
far=plink$number-far
address=10.73.$number.2
coproc WIRE { exec "$emulator" --near "$near" --far "$far" --control "$control" "${options[@]}" {lock}>&-; }
ready=""
read -r -t 10 ready <&"${WIRE[0]}" || true
if [ "$ready" != ready ]; then
  echo "netns-link: the emulator did not start" >&2
  exit 1
fi
ip link set "$far" netns "$name"
ip addr add "$server" peer "$address" dev "$near"
ip link set "$near" up
ip -n "$name" addr add "$address" peer "$server" dev "$far"
ip -n "$name" link set "$far" up
flock -u "$lock"
exec {lock}>&-

echo "netns-link: $name at $address, the server's end $server, link $number; control $control" >&2
status=0
ip netns exec "$name" env PELLUCANE_LINK_CONTROL="$control" PELLUCANE_LINK_SERVER="$server" \
  PELLUCANE_LINK_ADDRESS="$address" "$@" 0<&0 &
command_pid=$!
wait "$command_pid" || status=$?
command_pid=""
exit "$status"
