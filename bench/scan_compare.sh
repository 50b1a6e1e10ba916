#!/bin/sh
# sondrel-cli scan beside fping in the same private network namespace:
#  1. 127.0.0.0/24 and 127.0.0.0/16 (every address answers on loopback);
#  2. a /24 of test namespaces with 3 live hosts (and our own end), the rest
#     dead: two tries of 1 s each, so 2 s is the floor;
#  3. the peak number of workers, the scan's open descriptors and the
#     resident memory during the /16.
# The data folder is a temporary one. Needs root (namespaces).
# Usage: bench/scan_compare.sh [build dir] [runs]
set -eu
build=${1:-build}
runs=${2:-3}
bin=$(cd "$build/bin" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
XDG_DATA_HOME=$data unshare -n sh -c '
  set -eu
  ip link set lo up
  bin=$1; data=$2; runs=$3
  ms() { echo $(( $(date +%s%N) / 1000000 )); }
  scan() { "$bin/sondrel-cli" scan "$@" >"$data/scan.out" || true; }
  counts() { echo "$(grep -E "^Active: " "$data/scan.out" | tr -s " "), $(grep -c ",Dead," "$data/scan.out" || true) dead"; }
  for n in $(seq "$runs"); do
    t0=$(ms); scan 127.0.0.0-127.0.0.255; t1=$(ms)
    live=$(fping -a -q -g 127.0.0.0/24 -r 0 -t 1000 -i 0 2>/dev/null | wc -l || true); t2=$(ms)
    echo "/24 run $n: sondrel-cli $((t1 - t0)) ms ($(counts)) | fping -i 0 $((t2 - t1)) ms ($live alive)"
  done
  for n in $(seq "$runs"); do
    t0=$(ms); scan 127.0.0.0-127.0.255.255; t1=$(ms)
    live=$(fping -a -q -g 127.0.0.0/16 -r 0 -t 1000 -i 0 2>/dev/null | wc -l || true); t2=$(ms)
    echo "/16 run $n: sondrel-cli $((t1 - t0)) ms ($(counts)) | fping -i 0 $((t2 - t1)) ms ($live alive)"
  done

  # Peaks during one more /16: workers alive, descriptors of sondrel-cli,
  # resident memory of sondrel-cli and of the largest worker.
  "$bin/sondrel-cli" scan 127.0.0.0-127.0.255.255 >"$data/scan.out" &
  cli=$!
  peakw=0; peakfd=0; peakrss=0; peakwrss=0
  while kill -0 $cli 2>/dev/null; do
    w=$(pgrep -c -f "^$data/SondrelDataBas/PingIPscan" || true)
    [ "$w" -gt "$peakw" ] && peakw=$w
    fd=$(ls /proc/$cli/fd 2>/dev/null | wc -l || echo 0)
    [ "$fd" -gt "$peakfd" ] && peakfd=$fd
    rss=$(awk "/VmRSS/ {print \$2}" /proc/$cli/status 2>/dev/null || echo 0)
    [ "${rss:-0}" -gt "$peakrss" ] && peakrss=$rss
    for p in $(pgrep -f "^$data/SondrelDataBas/PingIPscan" || true); do
      r=$(awk "/VmRSS/ {print \$2}" /proc/$p/status 2>/dev/null || echo 0)
      [ "${r:-0}" -gt "$peakwrss" ] && peakwrss=$r
    done
    sleep 0.02
  done
  echo "/16 peaks: $peakw workers, $peakfd descriptors in sondrel-cli, RSS sondrel-cli $peakrss kB, largest worker $peakwrss kB"

  # Three test hosts on a veth (and our own end), no default route.
  . "$4"
  trap scan_testnet_down EXIT
  scan_testnet_up 10.77.0
  for n in $(seq "$runs"); do
    scan_testnet_forget
    t0=$(ms); scan 10.77.0.1-10.77.0.254; t1=$(ms)
    scan_testnet_forget
    live=$(fping -a -q -g 10.77.0.0/24 -r 1 -t 1000 -i 0 2>/dev/null | wc -l || true); t2=$(ms)
    echo "3-live /24 run $n: sondrel-cli $((t1 - t0)) ms ($(counts)) | fping -r 1 $((t2 - t1)) ms ($live alive)"
  done
' sh "$bin" "$data" "$runs" "$here/scan_testnet.inc"
