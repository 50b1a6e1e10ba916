#!/bin/sh
# sondrel-cli beside iputils ping in the same private network namespace:
# 1000 echoes to 127.0.0.1 every 10 ms; wall time, and the minimum and
# average round-trip time each reports. The data folder is a temporary one.
# Usage: bench/run_cli_vs_ping.sh [build dir]
set -eu
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
XDG_DATA_HOME=$data exec unshare -n sh -c '
  set -eu
  ip link set lo up
  ms() { echo $(( $(date +%s%N) / 1000000 )); }
  for n in 1 2 3; do
    t0=$(ms); "$1/sondrel-cli" ping -c 1000 -i 10 127.0.0.1 >"$2/cli.out"; t1=$(ms)
    ping -q -c 1000 -i 0.01 127.0.0.1 >"$2/ping.out"; t2=$(ms)
    cli=$(grep -E "^(Min|Avg) Time:" "$2/cli.out" | tr -s " " | tr "\n" " ")
    peer=$(tail -1 "$2/ping.out")
    echo "run $n: sondrel-cli $((t1 - t0)) ms wall, $cli| ping $((t2 - t1)) ms wall, $peer"
  done
  echo "log lines written by the last run: $(($(wc -l <"$2/SondrelDataBas/Tolvane_DB3.txt") - 1))"
' sh "$bin" "$data"
