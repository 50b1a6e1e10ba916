#!/bin/sh
# Peak memory of sondrel-cli reading an IP list of 1 GB (`ping --list G`, one
# echo to 127.0.0.1), in three shapes:
#  1. garbage: 256 lines of 4 MB of random bytes (NULs, bytes that are not
#     UTF-8, no line end inside), a valid group before and after;
#  2. one line of 1 GB without a line end after the group;
#  3. many valid entries: 1.5 million groups of 60 addresses (about 680 bytes
#     each).
# The lists go to a temporary folder under /tmp and are removed after each.
# Usage: bench/iplist_huge.sh [build dir]
set -eu
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
data=$(mktemp -d /tmp/sondrel-iplist-huge.XXXXXX)
trap 'rm -rf "$data"' EXIT
list=$data/SondrelDataBas/Tolvane_DB.txt
mkdir -p "$data/SondrelDataBas"

peak() {  # what, then the list file is in place
  XDG_DATA_HOME=$data unshare -n sh -c '
    ip link set lo up
    /usr/bin/time -f "%M %e %U %S" -o "$1/time" "$2/sondrel-cli" ping -c 1 --list G >/dev/null 2>&1 || true
  ' sh "$data" "$bin"
  read -r kb secs user sys <"$data/time"
  echo "$1: $(($(stat -c %s "$list") / 1048576)) MB list, peak RSS $((kb / 1024)) MB, ${secs} s (CPU ${user} s user, ${sys} s system)"
  rm -f "$list" "$data/SondrelDataBas/Tolvane_DB3.txt" "$data/SondrelDataBas/Tolvane_DB4.txt"
}

# 1. 4 MB lines of random bytes.
head -c 4194303 /dev/urandom | tr '\n' 'x' >"$data/block"
printf '\n' >>"$data/block"
{
  printf 'BG,127.0.0.1\r\n'
  i=0
  while [ $i -lt 256 ]; do cat "$data/block"; i=$((i + 1)); done
  printf 'BH,127.0.0.2\r\n'
} >"$list"
peak "garbage in 4 MB lines"

# 2. One line of 1 GB without its line end.
{
  printf 'BG,127.0.0.1\r\n'
  i=0
  while [ $i -lt 256 ]; do head -c 4194303 "$data/block"; i=$((i + 1)); done
} >"$list"
rm -f "$data/block"
peak "one line of 1 GB"

# 3. 1.5 million valid groups of 60 addresses.
awk 'BEGIN {
  m = ""
  for (k = 1; k <= 60; k++) m = m sprintf(",10.%d.%d.%d", k, k * 3 % 256, k * 7 % 256)
  printf "BG,127.0.0.1\r\n"
  for (i = 0; i < 1500000; i++) printf "BGroup%07d%s\r\n", i, m
}' >"$list"
peak "1.5 million valid groups"
