#!/bin/sh
# One pass over 256 targets, 255 of them dead, in a private network namespace:
# 10.77.0.0/24 is routed into loopback there, where nothing answers it, so
# every echo to it waits for its time-out and none leaves the machine.
# Beside the engine, fping sends the same 256 echoes as the peer.
# Usage: bench/run_pass.sh [build dir]
set -eu
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
exec unshare -n sh -c '
  set -eu
  ip link set lo up
  ip route add 10.77.0.0/24 dev lo
  "$1/run_pass_bench"
  if command -v fping >/dev/null; then
    list=$(mktemp)
    echo 127.0.0.1 >"$list"
    i=1; while [ $i -le 255 ]; do echo 10.77.0.$i >>"$list"; i=$((i + 1)); done
    for n in 1 2 3; do
      start=$(date +%s%N)
      fping -q -r 0 -t 500 -i 1 -f "$list" 2>/dev/null || true
      end=$(date +%s%N)
      echo "fping 256 targets, time-out 500 ms, run $n: $(( (end - start) / 1000000 )) ms"
    done
    rm -f "$list"
  fi
' sh "$bin"
