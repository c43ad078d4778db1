#!/usr/bin/env bash
# The node viewer's first read of an event log (from the start, until the
# grid is complete) against grep -c of the same IP over the same file, both
# with the file in the page cache, on two shapes of log: a busy segment
# (dense node lines) and a quiet one (mostly "#Cyclic_Count" lines). The
# logs are generated into a temporary folder and removed afterwards.
set -euo pipefail
build=${1:-build}
tool="$build/bench/nodeviewer_read"
megabytes=${NODEVIEWER_BENCH_MB:-300}
ip=10.1.2.17
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log="$work/keelwatch.log"

best() { sort -g | head -1; }

status=0
for shape in dense quiet; do
  "$tool" generate "$log" "$megabytes" "$shape"
  cat "$log" > /dev/null
  size=$(stat -c %s "$log")

  viewer=$(for _ in 1 2 3; do "$tool" read "$log" "$ip" | awk '{print $2}'; done | best)
  rows=$("$tool" read "$log" "$ip" | awk '{print $3}')
  grep_time=$(for _ in 1 2 3; do
    start=$(date +%s%N)
    # Not to /dev/null: grep then stops at the first match.
    LC_ALL=C grep -c -F "$ip" "$log" > "$work/count"
    end=$(date +%s%N)
    echo "scale=6; ($end - $start) / 1000000000" | bc
  done | best)
  matches=$(LC_ALL=C grep -c -F "$ip" "$log")

  awk -v shape="$shape" -v size="$size" -v v="$viewer" -v g="$grep_time" -v rows="$rows" \
      -v m="$matches" 'BEGIN {
    mb = size / 1e6
    printf "%s log: %.0f MB, %d lines hold the IP text, node viewer grid: %d rows\n", shape, mb, m, rows
    printf "  node viewer: %8.1f MB/s (%.3f s)\n", mb / v, v
    printf "  grep -c:     %8.1f MB/s (%.3f s)\n", mb / g, g
    printf "  ratio node viewer / grep -c: %.2f (goal >= 1.0)\n", g / v
    exit !(g / v >= 1.0)
  }' || status=1
  rm -f "$log"
done
exit $status
