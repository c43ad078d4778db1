#!/usr/bin/env bash
# Probe frames put on the wire per second by one full sweep (Node Timer 0,
# Packet Number 1, the five default test addresses), against arp-scan
# sending the same number of ARP requests to the same range with its rate
# limit lifted, and the same sweep through the capture helper against the
# program's own sockets. All run in the scanner namespace of a lab segment;
# frames are counted where they arrive, on the switch's end of the wire.
# Best of five alternating rounds each. Needs root.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
sweep=$build/bench/wire_sweep
helper=$build/src/libexec/keelwatch/keelwatch-capture
if [ "$(id -u)" -ne 0 ]; then
  echo "wire.sh: skipped, building a lab segment needs root"
  exit 0
fi
command -v arp-scan >/dev/null || { echo "wire.sh: arp-scan is missing (scripts/install-deps)"; exit 1; }

prefix=kwbench$$
trap '"$root/scripts/labnet" down "$prefix"' EXIT
"$root/scripts/labnet" up "$prefix" 2 >/dev/null

# A range beside the lab hosts, so no reply changes arp-scan's count.
from=10.77.64.1
to=10.77.127.254
tests=5
addresses=$(( (127 - 64) * 256 + 254 ))
frames=$((addresses * tests))

wire_frames() {
  ip -n "$prefix-sw" -s link show wire1 | awk '/RX:/ {getline; print $2; exit}'
}

# Runs a command in the scanner namespace; prints "frames seconds".
measure() {
  local before after start end
  before=$(wire_frames)
  start=$(date +%s%N)
  ip netns exec "$prefix-scan" "$@" >/dev/null
  end=$(date +%s%N)
  after=$(wire_frames)
  echo "$((after - before)) $(( (end - start) / 1000 ))"
}

rate() { # frames per second of one run
  local f us
  read -r f us < <(measure "$@")
  if [ "$f" -ne "$frames" ]; then
    echo "wire.sh: expected $frames frames on the wire, counted $f" >&2
    exit 1
  fi
  echo $((f * 1000000 / us))
}

# Rounds alternate between the two, so that both meet the same load of the
# machine; the best round of each counts.
ours=0
peer=0
helped=0
for _ in 1 2 3 4 5; do
  r=$(rate "$sweep" wire0 10.77.0.1 "$from" "$to" 0)
  ((r > ours)) && ours=$r
  r=$(rate "$sweep" wire0 10.77.0.1 "$from" "$to" 0 "$helper")
  ((r > helped)) && helped=$r
  r=$(rate arp-scan -I wire0 --bandwidth=100M --retry=$tests --timeout=1 --backoff=1 -q -x "$from-$to")
  ((r > peer)) && peer=$r
done
ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')
helperRatio=$(awk -v a="$helped" -v b="$ours" 'BEGIN { printf "%.2f", a / b }')
echo "probe frames on the wire: $frames per run"
echo "keelwatch sweep: $ours frames/s"
echo "through the capture helper: $helped frames/s"
echo "arp-scan:        $peer frames/s"
echo "ratio keelwatch/arp-scan: $ratio (must be at least 1)"
echo "ratio helper/own sockets: $helperRatio (must be at least 0.9)"
# What one request of the helper carries, paced at the default rate.
ip netns exec "$prefix-scan" "$sweep" wire0 10.77.0.1 "$from" 10.77.67.255 2000 "$helper" |
  sed 's/^/at 2000 frames\/s through the helper: /'
awk -v r="$ratio" -v h="$helperRatio" 'BEGIN { exit !(r >= 1 && h >= 0.9) }'
