#!/usr/bin/env bash
# The node viewer's first read of a 200 MB event log (ReadLogTail from the
# start, through the memory mapping) against grep -c of the same IP over the
# same file, both with the file in the page cache. Prints MB/s and the ratio.
set -euo pipefail
build=${1:-build}
tool="$build/bench/nodeviewer_read"
megabytes=${NODEVIEWER_BENCH_MB:-200}
ip=10.1.2.17
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log="$work/keelwatch.log"

"$tool" generate "$log" "$megabytes"
cat "$log" > /dev/null
size=$(stat -c %s "$log")

best() { sort -g | head -1; }

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

awk -v size="$size" -v v="$viewer" -v g="$grep_time" -v rows="$rows" -v m="$matches" 'BEGIN {
  mb = size / 1e6
  printf "log: %.0f MB, %d lines hold the IP, node viewer grid: %d rows\n", mb, m, rows
  printf "ReadLogTail: %8.1f MB/s (%.3f s)\n", mb / v, v
  printf "grep -c:     %8.1f MB/s (%.3f s)\n", mb / g, g
  printf "ratio ReadLogTail / grep -c: %.2f\n", g / v
}'
