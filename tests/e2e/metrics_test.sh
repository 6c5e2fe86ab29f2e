#!/usr/bin/env bash
# The metrics, end to end through a real node exporter (textfile collector
# only) and a real Prometheus server on loopback, with the alert rules of
# docs/ loaded:
#   1. vantrel.exe --no-window --metrics through a 300 ms stall of CPU 1: no
#      window, exit 0 at --duration with a final report, core 1's maximum
#      seen by Prometheus, the late-core alert firing for core 1 only, every
#      file written passing promtool, PromQL's mean of a window over three
#      of the files against the run's own log, and once the run has ended
#      no alert for a machine that stopped reporting, which a killed run
#      raises;
#   2. --no-window without any output ends with 2; a close request (taskkill
#      without /F) ends a --no-window run with 0 and a final report.
# The rules themselves are tested case by case with promtool
# (docs/vantrel.rules.test.yml).
#
# The copy of the rules loaded here says "not reporting" after 3 s instead of
# 60 s and fires without waiting (for: 0s), so that the test takes seconds.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

e2e_init
require_stall_support
for tool in prometheus prometheus-node-exporter promtool curl jq; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/deps.sh test)"
done

work=$VANTREL_BUILD_DIR/metrics-e2e
textfile_dir=$work/textfile
rm -rf "$work"
mkdir -p "$textfile_dir"

# A port nobody listens on now; the server started on it is checked to be ours.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

server_pids=()
start_servers() {
    rm -rf "$work/prometheus-data"
    exporter_port=$(free_port)
    prometheus-node-exporter --collector.disable-defaults --collector.textfile \
        --collector.textfile.directory "$textfile_dir" --web.listen-address "127.0.0.1:$exporter_port" \
        </dev/null >"$work/exporter.log" 2>&1 &
    server_pids+=($!)
    e2e_started_pids+=($!)

    prom_port=$(free_port)
    sed -e 's/) > 60$/) > 3/' -e 's/for: 1m$/for: 0s/' -e 's/for: 5m$/for: 0s/' \
        "$VANTREL_SOURCE_DIR/docs/vantrel.rules.yml" >"$work/vantrel.rules.yml"
    [[ $(grep -c ') > 3$' "$work/vantrel.rules.yml") == 2 && $(grep -c 'for: 0s$' "$work/vantrel.rules.yml") == 3 ]] ||
        fail "the rules' windows could not be shortened for the test: docs/vantrel.rules.yml changed shape"
    cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $work/vantrel.rules.yml
scrape_configs:
  - job_name: windows
    static_configs:
      - targets: ['127.0.0.1:$exporter_port']
EOF
    prometheus --config.file "$work/prometheus.yml" --storage.tsdb.path "$work/prometheus-data" \
        --web.listen-address "127.0.0.1:$prom_port" </dev/null >"$work/prometheus.log" 2>&1 &
    server_pids+=($!)
    e2e_started_pids+=($!)

    wait_until 30 'curl -sf --max-time 2 "http://127.0.0.1:$prom_port/-/ready" >/dev/null' ||
        fail "Prometheus did not get ready on port $prom_port: $(tail -n 5 "$work/prometheus.log")"
    wait_until 30 '[[ $(prom_value "up{job=\"windows\"}") == 1 ]]' ||
        fail "Prometheus does not scrape the exporter on port $exporter_port: $(tail -n 5 "$work/exporter.log")"
    note "node exporter on 127.0.0.1:$exporter_port, Prometheus on 127.0.0.1:$prom_port"
}

stop_servers() {
    local pid
    for pid in "${server_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    server_pids=()
}

prom_value() {
    curl -sf --max-time 5 "http://127.0.0.1:$prom_port/api/v1/query" --data-urlencode "query=$1" |
        jq -r '.data.result[0].value[1] // empty' 2>/dev/null || true
}

# alert_state NAME [CORE]: firing, pending or none.
alert_state() {
    curl -sf --max-time 5 "http://127.0.0.1:$prom_port/api/v1/alerts" |
        jq -r --arg name "$1" --arg core "${2:-}" \
            '[.data.alerts[] | select(.labels.alertname == $name and ($core == "" or .labels.core == $core)) | .state]
             | first // "none"' 2>/dev/null || echo none
}

# 1. Twelve seconds of vantrel.exe without a window, CPU 1 stalled for 300 ms
# after 7 s: after the write at 5 s, so that Prometheus sees the counts rise.
start_servers
report=$work/report.json
log=$work/run.csv
snapshots=$work/snapshots
mkdir -p "$snapshots"
# X windows mapped now (the root window at least): any more is one of ours.
visible_x_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l || true; }
mapped_before=$(visible_x_windows)
vantrel_start --no-window --metrics "$textfile_dir/vantrel.prom" --report "$report" --log "$log" --duration 12
started=$SECONDS
seen_windows=0
stalled=0
snapshot=0
while kill -0 "$VANTREL_PID" 2>/dev/null && ((SECONDS - started < 40)); do
    # No window of Vantrel is visible, no tray icon, and no X window mapped.
    probe=$(vprobe window 0)
    tray=$(vprobe tray)
    mapped=$(visible_x_windows)
    if [[ $(value_of visible <<<"$probe") == 1 || $(value_of tray_visible <<<"$tray") == 1 ]] || ((mapped > mapped_before)); then
        seen_windows=$((seen_windows + 1))
        ((seen_windows > 1)) || screenshot metrics-window-seen
    fi
    if [[ -f $textfile_dir/vantrel.prom ]]; then
        cp "$textfile_dir/vantrel.prom" "$snapshots/$((snapshot += 1)).prom" 2>/dev/null || true
    fi
    if ((!stalled && SECONDS - started >= 7)); then
        stall_cpu 1 300 >/dev/null
        stalled=1
    fi
    sleep 0.3
done
wait_for_exit "$VANTREL_PID" 5 || fail "vantrel.exe --no-window --duration 12 did not end by itself"
expect '((WAITED_EXIT_CODE == 0))' "the run ended by --duration with exit code 0 ($WAITED_EXIT_CODE)"
expect '((stalled == 1))' "CPU 1 was stalled during the run"
expect '((seen_windows == 0))' "no window and no tray icon appeared during the run ($seen_windows polls saw one)"
expect '[[ ! -s $VANTREL_STDERR ]]' "nothing was said on standard error"
expect '[[ $(jq -r .final "$report") == true ]]' "the final report was written"
late1=$(jq -r '.cores[1].max_ms' "$report")
expect '((late1 >= 200 && late1 <= 700))' "the report shows core 1's stall: $late1 ms"
cp "$textfile_dir/vantrel.prom" "$snapshots/final.prom"
expect '((snapshot >= 2))' "the metrics file was there during the run ($snapshot copies)"
expect '[[ ! -e $textfile_dir/vantrel.prom.tmp ]]' "no temporary file was left beside it"
expect 'bash "$VANTREL_SOURCE_DIR/tests/metrics/check_metrics.sh" metrics "$snapshots" >/dev/null' \
    "every metrics file written passes promtool check metrics"

# The usual mean of a window, increase(_sum) / increase(_count), as promtool
# evaluates it over three of the files (the first with events on both cores,
# one between, the final one) a minute apart, against each core's mean of
# the non-negative late_us of its log lines between the first and the last:
# within 1 %. A _sum that fell (early events counted negative) would be
# taken for a restart and the mean come out wrong.
sample() { awk -v name="$2{core=\"$3\"}" '$1 == name { print $2 }' "$1"; }
files=()
for ((k = 1; k <= snapshot; k++)); do
    file=$snapshots/$k.prom
    [[ -f $file && $(sample "$file" vantrel_timer_lateness_seconds_count 0) -gt 0 &&
        $(sample "$file" vantrel_timer_lateness_seconds_count 1) -gt 0 ]] || continue
    # A copy of the final file is the final file.
    cmp -s "$file" "$snapshots/final.prom" && continue
    ((${#files[@]} > 0)) && cmp -s "$file" "${files[-1]}" && continue
    files+=("$file")
done
files+=("$snapshots/final.prom")
expect '((${#files[@]} >= 3))' "three different files of the run to take the mean over (${#files[@]})"
three=("${files[0]}" "${files[${#files[@]} / 2]}" "$snapshots/final.prom")
mean_test=$work/mean.test.yml
{
    echo "evaluation_interval: 1m"
    echo "tests:"
    echo "  - interval: 1m"
    echo "    input_series:"
    for core in 0 1; do
        for part in sum count; do
            echo "      - series: 'vantrel_timer_lateness_seconds_$part{core=\"$core\"}'"
            echo "        values: '$(for file in "${three[@]}"; do sample "$file" "vantrel_timer_lateness_seconds_$part" $core; done | xargs)'"
        done
    done
    echo "    promql_expr_test:"
    for core in 0 1; do
        from=$(sample "${three[0]}" vantrel_timer_lateness_seconds_count $core)
        to=$(sample "${three[2]}" vantrel_timer_lateness_seconds_count $core)
        lines=$(awk -F, -v core=$core '$5 == "timer" && $2 == core' "$log" | wc -l)
        ((lines == to)) || fail "core $core: the log has $lines timer lines, the final file counts $to"
        mean=$(awk -F, -v core=$core -v from="$from" -v to="$to" '$5 == "timer" && $2 == core {
                   if (++n > from && n <= to) { sum += ($4 > 0 ? $4 : 0); k++ } } END { printf "%.9g", sum / k / 1e6 }' "$log")
        note "core $core: events $((from + 1)) to $to of the log, mean of the non-negative lateness $mean s" >&2
        echo "      - expr: 'abs(increase(vantrel_timer_lateness_seconds_sum{core=\"$core\"}[2m]) / increase(vantrel_timer_lateness_seconds_count{core=\"$core\"}[2m]) / $mean - 1) < bool 0.01'"
        echo "        eval_time: 2m"
        echo "        exp_samples:"
        echo "          - labels: '{core=\"$core\"}'"
        echo "            value: 1"
    done
} >"$mean_test"
promtool test rules "$mean_test" >"$work/mean.test.out" 2>&1 ||
    fail "promtool's mean of the window is not the log's within 1 %: $(tr '\n' ' ' <"$work/mean.test.out") (test: $mean_test)"
echo "ok: promtool's increase(_sum) / increase(_count) over three files is each core's mean from the log within 1 %"

# Prometheus scrapes once a second; the final file is there at the end.
wait_until 10 '[[ -n $(prom_value "vantrel_timer_lateness_max_seconds{core=\"1\"} >= 0.2") ]]' || true
max1=$(prom_value 'vantrel_timer_lateness_max_seconds{core="1"}')
max0=$(prom_value 'vantrel_timer_lateness_max_seconds{core="0"}')
expect '[[ -n $max1 && -n $max0 ]] && jq -en "$max1 >= 0.2 and $max1 <= 0.7 and $max0 < 0.1" >/dev/null' \
    "Prometheus answers core 1's maximum $max1 s, core 0's $max0 s"
wait_until 10 '[[ $(alert_state VantrelCoreLate 1) == firing ]]' || true
expect '[[ $(alert_state VantrelCoreLate 1) == firing && $(alert_state VantrelCoreLate 0) == none ]]' \
    "VantrelCoreLate fires for core 1 alone"
# The run is over and its file no longer rewritten, but it says the run
# ended: no machine stopped reporting (the copy of the rules says so after 3 s).
wait_until 10 '[[ $(prom_value vantrel_run_final) == 1 ]]' || true
expect '[[ $(prom_value vantrel_run_final) == 1 ]]' "Prometheus reads vantrel_run_final 1 from the final file"
sleep 8
expect '[[ $(alert_state VantrelNotReporting) == none ]]' "a run that ended does not raise VantrelNotReporting"

# A run killed (no final file) leaves vantrel_run_final 0 behind: that
# machine stopped reporting.
vantrel_start --no-window --metrics "$textfile_dir/vantrel.prom" --duration 60
wait_until 20 '[[ $(prom_value vantrel_run_final) == 0 ]]' || fail "Prometheus never read the new run's file"
kill -9 "$VANTREL_PID"
wait "$VANTREL_PID" 2>/dev/null || true
wait_until 20 '[[ $(alert_state VantrelNotReporting) == firing ]]' || true
expect '[[ $(alert_state VantrelNotReporting) == firing ]]' "a run that was killed raises VantrelNotReporting"
stop_servers

# 2. --no-window needs something to write.
vantrel_start --no-window --duration 3
wait_for_exit "$VANTREL_PID" 15 || fail "vantrel.exe --no-window without output did not end"
expect '((WAITED_EXIT_CODE == 2)) && grep -qF -- "--no-window" "$VANTREL_STDERR"' \
    "--no-window without --report, --log or --metrics ends with 2 and says: $(head -n1 "$VANTREL_STDERR")"

# A close request ends a --no-window run as closing the window would: taskkill
# without /F posts WM_CLOSE to the process's top-level windows, hidden ones too.
rm -f "$report"
vantrel_start --no-window --report "$report"
wait_until 15 '[[ -s $report ]]' || fail "the --no-window run wrote no report"
sleep 2
winpid=$(vprobe window 0 | value_of pid)
if [[ -n $winpid ]]; then
    kill_output=$(wine taskkill /pid "$winpid" </dev/null 2>&1 | tr -d '\r' || true)
else
    # Its hidden window has another class: ask by the program's name.
    kill_output=$(wine taskkill /im vantrel.exe </dev/null 2>&1 | tr -d '\r' || true)
fi
note "taskkill: $kill_output"
wait_for_exit "$VANTREL_PID" 10 || fail "a --no-window run did not end on taskkill without /F"
expect '((WAITED_EXIT_CODE == 0))' "a close request ends a --no-window run with exit code 0 ($WAITED_EXIT_CODE)"
expect '[[ $(jq -r .final "$report") == true ]]' "and it wrote its final report"
echo "PASS"
