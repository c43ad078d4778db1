#!/usr/bin/env bash
# The goals at the size of a /16, on the real path: the program's start-up
# objects offscreen, the real scan controller and capture workers, a memory
# packet driver feeding 65,536 nodes (scan_path): replies classified end to
# end per second, the longest main-thread stall in every phase of a cycle
# with the node viewer following, and the peak resident memory. Then the
# event storm through the event log alone and the node list's save and load
# (event_storm), and for comparison the main thread's share alone on a bare
# table (bench_classify). Exits non-zero when a goal is missed.
set -euo pipefail
build=${1:-build}
status=0

if [ -x "$build/bench/scan_path" ]; then
  "$build/bench/scan_path" || status=1
else
  echo "scale.sh: scan_path not built (the windows are off in this build)"
  status=1
fi

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
  printf "for comparison, a bare node list of 65,536 nodes: %.0f replies classified per second\n", r
  printf "  through the capture pipe and the reply analyser into it: %.0f per second\n", p
}'

if [ -x "$build/bench/event_storm" ]; then
  "$build/bench/event_storm" || status=1
  "$build/bench/event_storm" --follow || status=1
fi
exit $status
