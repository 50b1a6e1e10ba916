#!/bin/sh
# Loopback echo figures of our carrier beside ping and fping, in one run:
# sustained echoes per second and the median round-trip time.
# Builds nothing: the benchmark comes from ${SONDREL_BUILD_DIR:-build}/bin.
set -eu
cd "$(dirname "$0")/.."
if [ "${SONDREL_ISOLATED:-}" != 1 ]; then
  # Loopback only, so nothing leaves the machine.
  exec unshare -n sh -c 'ip link set lo up; SONDREL_ISOLATED=1 exec sh "$0"' "$0"
fi
bench=${SONDREL_BUILD_DIR:-build}/bin/icmp_echo_bench
[ -x "$bench" ] || { echo "icmp_compare: $bench is not built" >&2; exit 2; }
now_ns() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "n/a" }'; }

# Our figures as lines "NAME RATE echoes/s ..." from the benchmark's CSV.
run_ours() {
  "$bench" --benchmark_format=csv 2>/dev/null | awk -F, '
    NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i }; next }
    { gsub(/"/, "", $1); name = $1
      sub(/\/min_time:[0-9.]+/, "", name); sub(/\/real_time/, "", name)
      printf "%-36s %12.0f echoes/s", name, $(col["items_per_second"])
      printf "   rtt min %.3f ms, median %.3f ms", $(col["rtt_min_us"]) / 1000, $(col["rtt_median_us"]) / 1000
      if ($(col["failed"]) + 0 > 0) printf "   FAILED %d", $(col["failed"])
      printf "\n" }'
}
best_rate() { awk '/BM_EchoMany/ { if ($2 > m) m = $2 } END { print m + 0 }'; }
paced_median() { awk '/BM_PacedEcho/ { for (i = 1; i <= NF; i++) if ($i == "median") print $(i + 1) + 0 }'; }

echo "== sondrel carrier (icmp_echo_bench), raw socket"
ours=$(run_ours)
printf '%s\n' "$ours"
raw_rate=$(printf '%s\n' "$ours" | best_rate)
raw_median=$(printf '%s\n' "$ours" | paced_median)

# The datagram socket, allowed for every group in this namespace only.
range=/proc/sys/net/ipv4/ping_group_range
dgram_rate=n/a
dgram_median=n/a
if echo "0 2147483647" 2>/dev/null > "$range"; then
  echo "== sondrel carrier (icmp_echo_bench), datagram socket"
  ours=$(run_ours)
  printf '%s\n' "$ours"
  dgram_rate=$(printf '%s\n' "$ours" | best_rate)
  dgram_median=$(printf '%s\n' "$ours" | paced_median)
  echo "1 0" > "$range"
fi

echo "== ping -c 200 -i 0.002 -q 127.0.0.1"
ping -c 200 -i 0.002 -q 127.0.0.1 | tail -n 2
# The summary has no median: the same run without -q gives every time.
ping_median=$(ping -c 200 -i 0.002 127.0.0.1 | sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' | median)
echo "ping median (same command without -q): $ping_median ms"

echo "== fping -c 50000 -p 0 -i 0 -t 100 -q 127.0.0.1"
start=$(now_ns)
fping -c 50000 -p 0 -i 0 -t 100 -q 127.0.0.1 2>&1 || true
end=$(now_ns)
fping_rate=$(( 50000 * 1000000000 / (end - start) ))
echo "fping: $fping_rate echoes/s"

echo "== side by side"
awk -v raw="$raw_rate" -v dgram="$dgram_rate" -v fping="$fping_rate" \
    -v rm="$raw_median" -v dm="$dgram_median" -v pm="$ping_median" 'BEGIN {
  printf "echoes/s    sondrel raw %.0f, datagram %s   fping %.0f   ratio raw/fping %.2f\n",
         raw, dgram, fping, fping ? raw / fping : 0
  printf "median rtt  sondrel raw %.3f ms, datagram %s ms   ping %.3f ms   (ours paced like ping)   difference raw - ping %+.3f ms\n",
         rm, dm, pm, rm - pm }'
