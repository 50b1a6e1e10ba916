#!/bin/bash
# Every benchmark figure beside its peer, measured in one run, written as one
# table to bench/RESULTS.md. Run by scripts/bench inside a private network
# namespace with only loopback up (it refuses to run outside one).
#
# Adding a figure is one `figure` line at the end:
#   figure "WHAT (unit)" "TARGET" "OUR COMMAND" "PEER NAME" "PEER COMMAND"
# Each command prints one number (or nothing when it cannot be measured);
# the ratio is ours / peer's; the target is text, such as "<= 4x peer".
# Figures come in groups (`group NAME` before them): with SONDREL_FIGURES=NAME
# only that group is measured, and its rows replace their old ones in the
# table as it stands (new ones go at its end); the others are kept.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ "${SONDREL_ISOLATED:-}" != 1 ]; then
  echo "figures: run me through scripts/bench (a private network namespace)" >&2
  exit 2
fi
bin=$(cd "${SONDREL_BUILD_DIR:-build}/bin" && pwd)
out=${SONDREL_RESULTS:-bench/RESULTS.md}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rows=()

# ---- measuring helpers: each prints one number ----

# gbench PROGRAM FILTER COLUMN [SCALE]: a Google Benchmark column (a counter
# or real_time) of the first run matching FILTER, divided by SCALE.
# A program and filter run once; later figures read the same run's output.
gbench_csv() {
  local saved
  saved="$scratch/$1-$(printf '%s' "$2" | md5sum | cut -c1-12).csv"
  [ -s "$saved" ] || "$bin/$1" --benchmark_filter="$2" --benchmark_format=csv >"$saved" 2>/dev/null
  cat "$saved"
}
gbench() {
  local program=$1 filter=$2 column=$3 scale=${4:-1}
  gbench_csv "$program" "$filter" |
    awk -F, -v want="$column" -v scale="$scale" '
      /^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i }; next }
      col[want] && !done { printf "%.6g\n", $(col[want]) / scale; done = 1 }'
}

# gbench_median PROGRAM FILTER BENCHMARK KEY [SCALE]: a value (a counter or
# real_time) of one benchmark of the run of PROGRAM with FILTER, the median
# of its repetitions when it has them, divided by SCALE. The run's JSON,
# which, unlike its CSV, takes benchmarks with counters of their own.
gbench_median() {
  local program=$1 filter=$2 bench=$3 key=$4 scale=${5:-1} saved
  saved="$scratch/$program-$(printf '%s' "$filter" | md5sum | cut -c1-12).json"
  [ -s "$saved" ] || "$bin/$program" --benchmark_filter="$filter" --benchmark_format=json >"$saved" 2>/dev/null
  awk -v bench="$bench" -v key="\"$key\":" -v scale="$scale" '
    $1 == "\"name\":" { name = $2; gsub(/[",]/, "", name); next }
    $1 == key && index(name, bench "/") == 1 {
      v = $2; sub(/,$/, "", v)
      if (name ~ /_median$/) median = v
      else if (first == "" && name !~ /_(mean|stddev|cv)$/) first = v
    }
    END { v = median != "" ? median : first; if (v != "") printf "%.6g\n", v / scale }' "$saved"
}

# Best of several items_per_second figures of a benchmark family.
gbench_max() {
  gbench_csv "$1" "$2" |
    awk -F, -v want="$3" '/^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i }; next }
      col[want] && $(col[want]) > m { m = $(col[want]) } END { if (m) printf "%.6g\n", m }'
}

now_ns() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }

fping_rate() {  # echoes per second to 127.0.0.1 with fping's gaps set by "$@"
  local n=20000 start end  # fping's default period (1 s) would make this a 1 echo/s figure
  start=$(now_ns)
  fping -c "$n" "$@" -t 100 -q 127.0.0.1 >/dev/null 2>&1 || true
  end=$(now_ns)
  echo $(( n * 1000000000 / (end - start) ))
}

ping_median_ms() { ping -c "$1" -i "$2" 127.0.0.1 | sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' | median; }

dead_list() {
  echo 127.0.0.1 >"$scratch/list"
  for i in $(seq 1 255); do echo "10.77.0.$i"; done >>"$scratch/list"
}
# One pass of fping over 127.0.0.1 and 255 dead addresses, time-out 500 ms.
fping_pass_ms() {
  local start end
  dead_list
  start=$(now_ns)
  fping -q -r 0 -t 500 "$@" -f "$scratch/list" >/dev/null 2>&1 || true
  end=$(now_ns)
  echo $(( (end - start) / 1000000 ))
}

# ---- the table ----

only=${SONDREL_FIGURES:-}
current_group=""
group() { current_group=$1; }
wanted() { [ -z "$only" ] || [ "$only" = "$1" ]; }

figure() {
  wanted "$current_group" || return 0
  local what=$1 target=$2 ours_cmd=$3 peer_name=$4 peer_cmd=$5
  echo "=== $what" >&2
  local ours peer ratio
  ours=$(eval "$ours_cmd" | tail -n 1)
  peer=""
  [ -n "$peer_cmd" ] && peer=$(eval "$peer_cmd" | tail -n 1)
  ratio="—"
  if [ -n "$ours" ] && [ -n "$peer" ]; then
    ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN { if (b + 0 != 0) printf "%.2f", a / b; else print "—" }')
  fi
  echo "    sondrel ${ours:-n/a}   $peer_name ${peer:-n/a}   ratio $ratio" >&2
  rows+=("| $what | ${ours:-n/a} | ${peer_name:+$peer_name: }${peer:-—} | $ratio | $target |")
}

# Set-up the figures share: the dead /24 of the pass figure goes into
# loopback, where nothing answers it.
ip route add 10.77.0.0/24 dev lo 2>/dev/null || true

group ping
figure "Loopback echo rate, many at once (echoes/s)" "—" \
  "gbench_max icmp_echo_bench 'BM_EchoManyLoopback' items_per_second" \
  "fping -p 0 -i 0" "fping_rate -p 0 -i 0"
figure "Loopback RTT median, one echo every 2 ms (ms)" "—" \
  "gbench icmp_echo_bench 'BM_PacedEchoLoopback' rtt_median_us 1000" \
  "ping -i 0.002" "ping_median_ms 200 0.002"
figure "Loopback RTT median, ours every 2 ms, ping at its default 1 s (ms)" "—" \
  "gbench icmp_echo_bench 'BM_PacedEchoLoopback' rtt_median_us 1000" \
  "ping (default)" "ping_median_ms 5 1"
figure "Pass over 256 targets, 255 dead, time-out 500 ms (ms)" "—" \
  "gbench run_pass_bench 'BM_PassTogether256' pass_ms_for_255_dead" \
  "fping -i 0" "fping_pass_ms -i 0"
figure "Pass over 256 targets, fping default gaps (ms)" "—" \
  "gbench run_pass_bench 'BM_PassTogether256' pass_ms_for_255_dead" \
  "fping (default)" "fping_pass_ms"
figure "Results per second through engine, log and display (results/s)" "—" \
  "gbench run_engine_bench 'BM_EngineResults' results_per_s" \
  "log lines alone" "gbench run_engine_bench 'BM_LogLinesAlone' results_per_s"
figure "Reload of a 100 MB log (ms)" "<= 4x peer" \
  "gbench run_engine_bench 'BM_Reload100MB' real_time" \
  "std::getline of the file" "gbench run_engine_bench 'BM_GetlineSameFile' real_time"
figure "Memory per reloaded record (bytes)" "<= 40 (record size)" \
  "gbench run_engine_bench 'BM_Reload100MB' bytes_per_record" "" ""
figure "Memory per result over a run of 10 million results (bytes)" "<= 40 (record size)" \
  "gbench long_run_bench 'BM_TenMillionResults' bytes_per_result" "" ""
figure "Results per second over a run of 10 million results (results/s)" "—" \
  "gbench long_run_bench 'BM_TenMillionResults' results_per_s" "" ""
figure "Start-up to the window shown, 100 MB log present (ms)" "—" \
  "gbench startup_bench 'BM_StartUpWith100MBLog' shown_ms" "" ""
figure "Start-up to the previous run shown, 100 MB log (ms)" "—" \
  "gbench startup_bench 'BM_StartUpWith100MBLog' reloaded_ms" "" ""
figure "Report building over 10 million records, 10-minute periods (ms)" "—" \
  "gbench report_build_bench 'BM_BuildReportByPeriod' real_time" \
  "a plain pass over the records" "gbench report_build_bench 'BM_PlainPassOverRecords' real_time"

# ---- the run archive: every archive figure from one run of its benchmark ----
# Its ingest beside a bare SQLite insert loop (one row per result, one
# prepared statement, a transaction per pass), its size beside the run log
# of the same results, and the reads of a chart, the runs list and a whole
# run (beside the reload of a 100 MB log). Medians of repetitions.
group archive
archive="archive_ingest_bench ."
figure "Archive ingest through its writer, 200 targets x 500 passes (results/s)" "—" \
  "gbench_median $archive BM_WriterIngest items_per_second" \
  "bare SQLite insert loop" "gbench_median $archive BM_BareInsertLoop items_per_second"
figure "Archive ingest through appendResults, a pass a transaction (results/s)" "—" \
  "gbench_median $archive BM_ArchiveAppendPerPass items_per_second" \
  "bare SQLite insert loop" "gbench_median $archive BM_BareInsertLoop items_per_second"
figure "Archive bytes on disk per result, 10 million results (bytes)" "<= 24" \
  "gbench_median $archive BM_BytesPerResult archive_bytes_per_result" \
  "the run log of the same results" "gbench_median $archive BM_BytesPerResult log_bytes_per_result"
figure "One target's 24 hours at 1 s (86,400 results) read with echoesOf (ms)" "< 50" \
  "gbench_median $archive BM_EchoesOfADay real_time" "" ""
figure "Runs list of 10,000 runs: first page and count (ms)" "< 50" \
  "gbench_median $archive BM_ListTenThousandRuns real_time" "" ""
figure "Opening a 10-million-result archived run with loadRun (ms)" "<= peer" \
  "gbench_median $archive BM_LoadTenMillionResults real_time" \
  "reload of a 100 MB log" "gbench_median $archive BM_Reload100MBLog real_time"

# ---- the IP scan: sondrel-cli scan beside fping and nmap ----
# Each prints the median wall time (ms) of several runs. The test network
# (three live hosts on a veth, bench/scan_testnet.inc) takes 10.78.0.0/24,
# apart from the dead /24 routed into loopback above.
group scan
. bench/scan_testnet.inc
if wanted scan; then
  scan_testnet_up 10.78.0
  trap 'scan_testnet_down; rm -rf "$scratch"' EXIT
fi
wall_ms() {  # wall_ms RUNS FORGET COMMAND...: median of RUNS runs
  local runs=$1 forget=$2 start end
  shift 2
  for _ in $(seq "$runs"); do
    [ "$forget" = 1 ] && scan_testnet_forget
    start=$(now_ns)
    "$@" >/dev/null 2>&1
    end=$(now_ns)
    echo $(( (end - start) / 1000000 ))
  done | median
}
figure "Scan of 127.0.0.0/24 (ms)" "<= 2x peer" \
  "wall_ms 5 0 '$bin/sondrel-cli' scan 127.0.0.0-127.0.0.255" \
  "fping -i 0" "wall_ms 5 0 fping -a -q -g 127.0.0.0/24 -r 0 -t 1000 -i 0"
figure "Scan of 127.0.0.0/16 (ms)" "<= 2x peer" \
  "wall_ms 3 0 '$bin/sondrel-cli' scan 127.0.0.0-127.0.255.255" \
  "fping -i 0" "wall_ms 3 0 fping -a -q -g 127.0.0.0/16 -r 0 -t 1000 -i 0"
figure "Scan of a /24 with 3 live test hosts, two tries of 1 s (ms)" "< 2100 ms" \
  "wall_ms 5 1 '$bin/sondrel-cli' scan 10.78.0.1-10.78.0.254" \
  "fping -r 1 -i 0" "wall_ms 5 1 fping -a -q -g 10.78.0.0/24 -r 1 -t 1000 -i 0"
figure "Scan of a /24 with 3 live test hosts, beside nmap (ms)" "< 2100 ms" \
  "wall_ms 5 1 '$bin/sondrel-cli' scan 10.78.0.1-10.78.0.254" \
  "nmap -sn -n" "wall_ms 5 1 nmap -sn -n 10.78.0.0/24"
figure "Peak memory of the window during a scan of 127.0.0.0/16 (MB)" "—" \
  "gbench scan_window_bench 'BM_WindowDuringSlash16Scan' peak_rss_mb" "" ""
figure "Click answer during a scan of 127.0.0.0/16, longest (ms)" "< 100" \
  "gbench scan_window_bench 'BM_WindowDuringSlash16Scan' click_max_ms" "" ""
wanted scan && scan_testnet_down

# ---- the monitor window: bench/monitor_bench.cpp ----
# Its chart on a day's archived run (100 targets x 86,400 echoes, written
# once through the archive's writer into /tmp/sondrel-bench-dayrun-N/ and
# kept), 10 targets charted at 1,600 px of plot: a frame is display() and
# the widget rendered into an image, medians of 5 repetitions of the median
# and of the longest frame. Then the window at 10,000 results/s, and what the
# monitor costs the run engine. Each program run below is one filter.
group monitor
m=monitor_bench
for zoom in "0 whole day" "1 an hour" "2 5 minutes" "3 a minute"; do
  arg=${zoom%% *} span=${zoom#* }
  figure "Chart frame, 10 targets of a day at 1,600 px, $span, median (ms)" "< 16" \
    "gbench_median $m BM_ChartFrame BM_ChartFrame/$arg frame_median_ms" "" ""
  figure "Chart frame, 10 targets of a day at 1,600 px, $span, longest (ms)" "< 16" \
    "gbench_median $m BM_ChartFrame BM_ChartFrame/$arg frame_max_ms" "" ""
done
figure "Chart frames of a wheel zoom, day to a minute and back, median (ms)" "< 16" \
  "gbench_median $m BM_WheelZoom BM_WheelZoom frame_median_ms" "" ""
figure "Chart frames of a wheel zoom, day to a minute and back, longest (ms)" "< 16" \
  "gbench_median $m BM_WheelZoom BM_WheelZoom frame_max_ms" "" ""
figure "The same wheel zoom in the monitor window, presenter and paint, longest (ms)" "< 16" \
  "gbench_median $m BM_FirstChartThroughWindow BM_FirstChartThroughWindow wheel_frame_max_ms" "" ""
figure "First chart of 10 targets of a day's run: fresh archive to frame drawn (ms)" "< 200" \
  "gbench_median $m BM_FirstChart/ BM_FirstChart first_chart_ms" "" ""
figure "First chart in the monitor window: 10 rows selected to chart painted (ms)" "< 200" \
  "gbench_median $m BM_FirstChartThroughWindow BM_FirstChartThroughWindow select_to_chart_ms" "" ""
figure "A day's run opened from Archived Runs: openRun to the run shown (ms)" "—" \
  "gbench_median $m BM_FirstChartThroughWindow BM_FirstChartThroughWindow open_to_shown_ms" "" ""
figure "A day's run opened from Archived Runs: openRun to its exact figures (ms)" "—" \
  "gbench_median $m BM_FirstChartThroughWindow BM_FirstChartThroughWindow open_to_figures_ms" "" ""
figure "Chart's refresh reads of a running day's run, 10 targets' newest echoes (ms)" "< 50" \
  "gbench_median $m BM_ChartRefreshReads BM_ChartRefreshReads real_time" "" ""
figure "Click answer, 1,000 targets at 100 ms, monitor charting 10 live, longest (ms)" "< 50" \
  "gbench_median $m BM_ClicksWhileMonitoring BM_ClicksWhileMonitoring click_max_ms" "" ""
figure "Click answer, 1,000 targets at 100 ms, monitor charting 10 live, median (ms)" "—" \
  "gbench_median $m BM_ClicksWhileMonitoring BM_ClicksWhileMonitoring click_median_ms" "" ""
figure "Results per second reached in that run (results/s)" "10000" \
  "gbench_median $m BM_ClicksWhileMonitoring BM_ClicksWhileMonitoring results_per_s" "" ""
figure "Results per second through the engine, run monitor reading (results/s)" "—" \
  "gbench_median $m BM_EngineWithMonitor BM_EngineWithMonitor with_results_per_s" \
  "without the monitor" "gbench_median $m BM_EngineWithMonitor BM_EngineWithMonitor without_results_per_s"
# Outage detection beside the time a result takes through the engine: the
# whole monitor above costs more, for its round-trip figures.
engine_ns_per_result() {
  gbench_median $m BM_EngineWithMonitor BM_EngineWithMonitor without_results_per_s |
    awk '{ if ($1 > 0) printf "%.6g\n", 1e9 / $1 }'
}
figure "Outage detection, one OutageTracker::add (ns)" "< 0.01x peer (no measurable cost)" \
  "gbench_median $m BM_OutageTrackerAdd BM_OutageTrackerAdd real_time" \
  "one result through the engine (ns)" "engine_ns_per_result"
figure "Round-trip figures, one TargetLatency::add (ns)" "—" \
  "gbench_median $m BM_TargetLatencyAdd BM_TargetLatencyAdd real_time" "" ""
figure "Memory per result over 10 million results, run monitor reading (bytes)" "<= 4 beyond 28" \
  "gbench_median $m BM_MemoryWithMonitor BM_MemoryWithMonitor bytes_per_result" \
  "without the monitor" "gbench_median $m BM_MemoryWithoutMonitor BM_MemoryWithoutMonitor bytes_per_result"

group service
# The monitor service beside Debian's prometheus-smokeping-prober, each alone
# on the same 1,000 loopback targets at one echo a second, then ours on
# 10,000 (bench/service_run.inc). A run of each is measured once and read by
# its rows.
service() {  # service TOOL TARGETS KEY
  local saved="$scratch/service-$1-$2"
  [ -s "$saved" ] || bash bench/service_run.inc "$1" "$2" 60 "$bin" >"$saved" 2>/dev/null
  awk -v k="$3" '$1 == k { print $2 }' "$saved"
}
prober=prometheus-smokeping-prober
figure "Monitor service, 1,000 targets at 1 s: processor (% of a core)" "< 5" \
  "service sondrel 1000 cpu_percent" "$prober" "service prober 1000 cpu_percent"
figure "Monitor service, 1,000 targets at 1 s: echoes answered of those sent (%)" "100" \
  "service sondrel 1000 answered_percent" "$prober" "service prober 1000 answered_percent"
figure "Monitor service, 1,000 targets at 1 s: scrape of /metrics (ms)" "< 50" \
  "service sondrel 1000 scrape_ms" "$prober" "service prober 1000 scrape_ms"
figure "Monitor service, 1,000 targets at 1 s: resident memory (MB)" "—" \
  "service sondrel 1000 rss_mb" "$prober" "service prober 1000 rss_mb"
figure "Monitor service, 1,000 targets at 1 s: passes sent from their schedule, 95th percentile (ms)" "< 1" \
  "service sondrel 1000 schedule_p95_ms" "" ""
figure "Monitor service, 10,000 targets at 1 s: processor (% of a core)" "—" \
  "service sondrel 10000 cpu_percent" "" ""
figure "Monitor service, 10,000 targets at 1 s: echoes answered of those sent (%)" "100" \
  "service sondrel 10000 answered_percent" "" ""
figure "Monitor service, 10,000 targets at 1 s: scrape of /metrics (ms)" "< 50" \
  "service sondrel 10000 scrape_ms" "" ""
figure "Monitor service, 10,000 targets at 1 s: resident memory (MB)" "—" \
  "service sondrel 10000 rss_mb" "" ""
figure "Monitor service, 10,000 targets at 1 s: passes sent from their schedule, 95th percentile (ms)" "< 1" \
  "service sondrel 10000 schedule_p95_ms" "" ""

# One group measured again: its rows in the table as it stands.
if [ -n "$only" ] && [ -f "$out" ]; then
  merged=$scratch/merged
  printf '%s\n' "${rows[@]}" >"$scratch/rows"
  awk -v group="$only" -v when="$(date -u '+%Y-%m-%d %H:%M UTC')" -v rowsfile="$scratch/rows" '
    function what(line,   f) { split(line, f, "|"); gsub(/^ +| +$/, "", f[2]); return f[2] }
    BEGIN { while ((getline line < rowsfile) > 0) { n++; fresh[n] = line; key[what(line)] = n } }
    /^Date: / { print; print "Figures of the " group " group measured again: " when; next }
    /^Figures of the .* group measured again: / { if (index($0, "the " group " group")) next }
    /^\| / && !/^\| Figure \|/ {
      k = what($0)
      if (k in key) { print fresh[key[k]]; used[key[k]] = 1; next }
    }
    { print }
    END { for (i = 1; i <= n; i++) if (!used[i]) print fresh[i] }' "$out" >"$merged"
  cat "$merged" >"$out"
  echo "figures: merged the $only group into $out" >&2
  exit 0
fi

{
  echo "# Benchmark results"
  echo
  echo "Written by \`scripts/bench\`; every figure and its peer measured in the same run,"
  echo "loopback and a private network namespace only."
  echo
  echo "Machine: $(uname -srm), $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo),"\
       "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "| Figure | Sondrel | Peer | Ratio | Target |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} >"$out"
echo "figures: wrote $out" >&2
