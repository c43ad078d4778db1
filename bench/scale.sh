#!/usr/bin/env bash
# The goals at the size of a /16: replies classified per second into a node
# list of 65,536 nodes, the longest main-thread stall while a /16's worth of
# events goes through the controller, the event log and the pane (without
# and with the node viewer following an IP), and the resident memory with
# 65,536 nodes. Exits non-zero when a goal is missed.
set -euo pipefail
build=${1:-build}
status=0

# Replies per second of one benchmark of bench_classify at 65,536 nodes.
rate() {
  "$build/bench/bench_classify" --benchmark_filter="$1/nodes:65536/" \
    --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null | awk -F, '
    /^name,/ { for (i = 1; i <= NF; ++i) if ($i == "items_per_second") col = i; next }
    col { print $col }'
}
listed=$(rate BM_ClassifyRepliesIntoTheList)
pipe=$(rate BM_ClassifyRepliesThroughThePipe)
awk -v r="$listed" -v p="$pipe" 'BEGIN {
  printf "replies classified into 65,536 nodes: %.0f per second (goal >= 1,000,000)\n", r
  printf "  the same through the capture pipe and the reply analyser: %.0f per second\n", p
  exit !(r >= 1000000)
}' || status=1

if [ -x "$build/bench/event_storm" ]; then
  "$build/bench/event_storm" || status=1
  "$build/bench/event_storm" --follow || status=1
else
  echo "scale.sh: event_storm not built (the windows are off in this build)"
fi
exit $status
