#!/usr/bin/env bash
# A /24 swept on the 240-host lab (8 promiscuous hosts, the stock receive
# queues): the time of one rate-paced sweep (20,000 frames/s) against
# arp-scan sending the same number of requests to the same addresses, and
# the frames the lab's hosts dropped with rate pacing and with Node Timer 0
# bursts. One run each. Then three cycles of a List Mode cyclic scan with
# all ten tests and two probes each, paced by rate and by Node Timer 0: the
# hosts found in each cycle, the silent tests a paced cycle asked again, the
# answers still lost after that and the frames the lab dropped. Needs root.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
sweep=$build/bench/wire_sweep
cycles=$build/bench/lab_cycles
if [ "$(id -u)" -ne 0 ]; then
  echo "pacing.sh: skipped, building a lab segment needs root"
  exit 0
fi
command -v arp-scan >/dev/null || { echo "pacing.sh: arp-scan is missing (scripts/install-deps)"; exit 1; }

prefix=kwpace$$
hosts=240
trap '"$root/scripts/labnet" down "$prefix"' EXIT
start=$(date +%s%N)
"$root/scripts/labnet" up "$prefix" $hosts 7 37 67 97 127 157 187 217 >/dev/null
echo "labnet up, $hosts hosts: $(( ($(date +%s%N) - start) / 1000000 )) ms"

from=10.77.0.1
to=10.77.0.254
tests=5
rate=20000

# Frames the hosts' macvlan links and the switch's end of the wire dropped.
lab_drops() {
  local total=0 n d
  for ((n = 1; n <= hosts; n++)); do
    d=$(ip -n "$prefix-h$n" -s link show eth0 2>/dev/null | awk '/RX:/ {getline; print $4; exit}')
    total=$((total + d))
  done
  d=$(ip -n "$prefix-sw" -s link show wire1 2>/dev/null | awk '/RX:/ {getline; print $4; exit}')
  echo $((total + d))
}

# Runs a command in the scanner namespace; prints "microseconds dropped".
measure() {
  local before start end
  before=$(lab_drops)
  start=$(date +%s%N)
  ip netns exec "$prefix-scan" "$@" >/dev/null
  end=$(date +%s%N)
  sleep 1
  echo "$(( (end - start) / 1000 )) $(($(lab_drops) - before))"
}

read -r paced paced_drops < <(measure "$sweep" wire0 10.77.0.1 "$from" "$to" "$rate")
read -r burst burst_drops < <(measure "$sweep" wire0 10.77.0.1 "$from" "$to")
read -r peer peer_drops < <(measure arp-scan -I wire0 --retry=$tests --timeout=500 -q -x "$from-$to")
echo "sweep of $from-$to, $tests tests:"
echo "keelwatch at $rate frames/s: $((paced / 1000)) ms, lab dropped $paced_drops frames"
echo "keelwatch at Node Timer 0:   $((burst / 1000)) ms, lab dropped $burst_drops frames"
echo "arp-scan:                    $((peer / 1000)) ms, lab dropped $peer_drops frames"
echo "ratio paced keelwatch/arp-scan time: $(awk -v a="$paced" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')"

# Three cycles through the scan controller; prints its lines and the lab's
# drops meanwhile.
run_cycles() {
  local label=$1 before
  shift
  before=$(lab_drops)
  echo "$label:"
  ip netns exec "$prefix-scan" "$cycles" wire0 10.77.0.1 10.77.0.11 10.77.0.250 3 "$@" | sed 's/^/  /'
  sleep 1
  echo "  the lab dropped $(($(lab_drops) - before)) frames"
}
echo "cyclic scan of $hosts hosts, all ten tests, Packet Number 2:"
run_cycles "keelwatch at $rate frames/s" "$rate"
run_cycles "keelwatch at Node Timer 0"
