#!/usr/bin/env bash
# The link emulator's self-test: a TCP echo in a player's namespace behind
# scripts/netns-link.sh, and a client here that times it. The round trip
# must take the two ways' delay, losses must cost no byte, a stall must let
# nothing through while it lasts, and a reset must end the connection with
# "connection reset" at both ends; the namespace and devices must then go.
#   tests/net/link-emulator.sh build/tools/linkemu/pellucane-linkemu
# Exits 77 (ctest's skip) without root, /dev/net/tun, ip or python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export PELLUCANE_LINKEMU=$1
skip() {
  echo "link-emulator: skipped: $1" >&2
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "it needs root, for network namespaces and TUN devices"
[ -c /dev/net/tun ] || skip "there is no /dev/net/tun"
command -v ip >/dev/null || skip "there is no ip (iproute2)"
command -v python3 >/dev/null || skip "there is no python3"
name=linktest-$$

# The echo in the namespace: says where it listens, then that it was reset.
serve='
import os, socket
listener = socket.create_server(("0.0.0.0", 0))
print("listening", os.environ["PELLUCANE_LINK_ADDRESS"], listener.getsockname()[1], flush=True)
listener.settimeout(60)
peer, _ = listener.accept()
peer.settimeout(60)
try:
    while data := peer.recv(65536):
        peer.sendall(data)
    print("closed", flush=True)
except ConnectionResetError:
    print("reset", flush=True)
'

# The client here: each impairment in turn, through the control socket.
client='
import random, socket, statistics, subprocess, sys, time
tool, control, address, port = sys.argv[1:5]

def fail(what):
    sys.exit("link-emulator: " + what)

def tell(*lines):
    return subprocess.run([tool, "--tell", control, *lines], check=True,
                          capture_output=True, text=True).stdout

peer = socket.create_connection((address, int(port)), timeout=30)
peer.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

def echo(data):
    peer.sendall(data)
    back = b""
    while len(back) < len(data):
        back += peer.recv(65536) or fail("the echo closed")
    return back

def round_trip_ms():
    start = time.monotonic()
    echo(b"x")
    return (time.monotonic() - start) * 1000

tell("delay 50 jitter 20")
trips = [round_trip_ms() for _ in range(20)]
if not 85 <= statistics.median(trips) <= 140 or max(trips) - min(trips) < 5:
    fail("50 ms each way with 20%% jitter: round trips %s ms" % [round(t) for t in trips])

tell("clear", "loss 10")
data = random.Random(1).randbytes(65536)
if echo(data) != data:
    fail("64 KiB with 10% loss came back changed")
counts = tell("show").split()
lost = [int(counts[at + 1]) for at, word in enumerate(counts) if word == "lost"]
if min(lost) == 0:
    fail("10% loss lost nothing: " + " ".join(counts))

tell("clear", "stall 1500")
if round_trip_ms() < 1500:
    fail("a byte went through a stall of 1.5 s")

answer = tell("reset").strip()
if answer != "ok 1 connections reset":
    fail("the reset did not find the one connection: " + answer)
try:
    peer.recv(1)
    fail("the client was not reset")
except ConnectionResetError:
    pass
'

coproc LINK { "$root/scripts/netns-link.sh" --seconds 120 "$name" -- python3 -c "$serve"; }
link=$LINK_PID
# bash forgets the coprocess's descriptors when it ends: a copy keeps its last words
exec {words}<&"${LINK[0]}"
# a failure stops the link, which takes its namespace down
stop_link() {
  local status=$?
  { kill "$link" 2>/dev/null && wait "$link"; } || true
  exit "$status"
}
trap stop_link EXIT
read -r -t 30 word address port <&"$words" || true
if [ "${word:-}" != listening ]; then
  echo "link-emulator: the echo did not start in the namespace" >&2
  exit 1
fi
python3 -c "$client" "$PELLUCANE_LINKEMU" "/run/pellucane-netns-link/$name.sock" "$address" "$port"
outcome=""
read -r -t 30 outcome <&"$words" || true
wait "$link"
if [ "$outcome" != reset ]; then
  echo "link-emulator: the echo in the namespace was not reset: ${outcome:-no word}" >&2
  exit 1
fi
if ip netns list | grep -qw "^$name" || ip -o addr show | grep -q "peer $address/"; then
  echo "link-emulator: namespace $name or its device is still there" >&2
  exit 1
fi
echo "link-emulator: delay, loss, stall and reset as set"
