#!/usr/bin/env bash
# The record of a run, end to end: a timed run with a report, a log and a
# limit, through a stall of CPU 1, ends by itself with exit code 3 and files
# that agree with each other and with the stall; a quiet run ends with 0; a
# hard kill leaves a report that parses and a log of whole lines; every bad
# command line ends with 2 and a message before anything starts; --help and
# --version answer at once.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/record
rm -rf "$work"
mkdir -p "$work"
report=$work/report.json
log=$work/log.csv

now_ms() { date -u +%s%3N; }
ms_of_utc() { date -u -d "$1" +%s%3N; }
jq_value() { jq -r "$1" "$report"; }

# 1. Eight seconds with a 450 ms stall of CPU 1 in the middle.
stall_ms=450
started=$(now_ms)
vantrel_start --report "$report" --log "$log" --duration 8 --fail-above 250
vantrel_wait_window 15000 >/dev/null
sleep 3
stall_start=$(now_ms)
stall_cpu 1 "$stall_ms" >/dev/null
stall_end=$(now_ms)
wait_for_exit "$VANTREL_PID" 30 || fail "the timed run did not end by itself"
ended=$(now_ms)
run_ms=$((ended - started))
expect '((WAITED_EXIT_CODE == 3))' "an event later than --fail-above 250 ends the run with exit code 3 ($WAITED_EXIT_CODE)"
expect '((run_ms >= 8000 && run_ms < 20000))' "the run closed itself after about 8 s ($run_ms ms from the start)"
expect '[[ ! -s $VANTREL_STDERR ]]' "nothing was said on standard error: $(head -c 300 "$VANTREL_STDERR")"

expect 'jq -e . "$report" >/dev/null' "the report is JSON"
expect '[[ $(jq_value .final) == true && $(jq_value .program) == Vantrel && $(jq_value .version) == 1.9.0 ]]' \
    "the final report names the program and its version"
late1=$(jq_value '.cores[1].max_ms')
late0=$(jq_value '.cores[0].max_ms')
at1=$(ms_of_utc "$(jq_value '.cores[1].max_at_utc')")
expect '((late1 >= 300 && late1 <= 700))' "core 1's maximum shows the stall: $late1 ms"
expect '((at1 >= stall_start && at1 <= stall_end + 200))' \
    "core 1's maximum came at the end of the stall ($at1, stall $stall_start..$stall_end)"
expect '((late0 < 100))' "core 0 stayed under 100 ms: $late0 ms"
expect '[[ $(jq_value .worst.core) == 1 && $(jq_value .worst.late_ms) == "$late1" ]]' "the worst event is core 1's"
expect '[[ $(jq_value .log_dropped) == 0 ]]' "no log line was dropped"

expect '[[ $(jq_value .complete) == true && $(jq_value ".problems | length") == 0 ]]' "the record is complete, without problems"
expect '[[ $(head -n1 "$log") == "utc,core,late_ms,late_us,source" ]]' "the log starts with its header"
# Events, and the run's notes (its context, stall causes), lines of their own.
bad_lines=$(tail -n +2 "$log" | grep -vE '^[0-9-]{10}T[0-9:.]{12}Z,,,,[a-z_]+=[^,]+$' |
    grep -cvE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z,[0-9]+,-?[0-9]+,-?[0-9]+,timer$' || true)
expect '((bad_lines == 0))' "every log line is a whole event line ($bad_lines are not)"
cores=$(jq_value '.cores | length')
for ((core = 0; core < cores; core++)); do
    in_report=$(jq_value ".cores[$core].events")
    in_log=$(awk -F, -v c="$core" 'NR > 1 && $2 == c' "$log" | wc -l)
    expect '((in_report == in_log && in_report > 50))' "core $core: $in_report events in the report, $in_log in the log"
done
stall_line=$(awk -F, 'NR > 1 && $2 == 1 && $3 >= 300' "$log" | head -n1)
expect '[[ -n $stall_line ]]' "the log holds core 1's late event: $stall_line"

# 2. A quiet run stays under the limit and ends with 0.
vantrel_start --fail-above 250 --duration 3 --report "$report"
wait_for_exit "$VANTREL_PID" 30 || fail "the quiet run did not end by itself"
expect '((WAITED_EXIT_CODE == 0))' "a quiet run under --fail-above 250 ends with exit code 0 ($WAITED_EXIT_CODE)"
# The record ends at the close request for every core alike, not when each
# sampler happens to stop.
counts=$(jq -r '[.cores[].events] | "\(min) \(max)"' "$report")
expect '(( ${counts#* } - ${counts% *} <= 2 ))' "every core covers the same span: events per core from $counts"

# 3. A hard kill: the report is at most 10 s old and whole, the log whole lines.
vantrel_start --report "$report" --log "$log"
vantrel_wait_window 15000 >/dev/null
sleep 13
killed=$(now_ms)
kill -9 "$VANTREL_PID"
wait "$VANTREL_PID" 2>/dev/null || true
expect 'jq -e . "$report" >/dev/null' "after a hard kill the report still parses"
updated=$(ms_of_utc "$(jq_value .updated_utc)")
expect '[[ $(jq_value .final) == false ]] && ((killed - updated <= 10000))' \
    "it is a running report at most 10 s old ($((killed - updated)) ms)"
expect '[[ -z $(tail -c1 "$log" | tr -d "\n") ]]' "the log ends with a whole line"
bad_lines=$(tail -n +2 "$log" | grep -vE '^[0-9-]{10}T[0-9:.]{12}Z,,,,[a-z_]+=[^,]+$' |
    grep -cvE '^[0-9-]{10}T[0-9:.]{12}Z,[0-9]+,-?[0-9]+,-?[0-9]+,timer$' || true)
expect '((bad_lines == 0))' "every line of the log is whole ($bad_lines are not)"
expect '(($(jq_value "[.cores[].events] | add") <= $(tail -n +2 "$log" | wc -l)))' \
    "the log holds at least the events the report counts"

# 4. Bad command lines: exit code 2, a message naming what is wrong, no
# window and no file.
run_bad() {
    local expected=$1
    shift
    vantrel_start "$@"
    wait_for_exit "$VANTREL_PID" 15 || fail "vantrel.exe $* did not end"
    expect '((WAITED_EXIT_CODE == 2)) && grep -qF -- "$expected" "$VANTREL_STDERR"' \
        "vantrel.exe $* ends with 2 and says: $(head -n1 "$VANTREL_STDERR")"
}
rm -f "$report" "$log"
watch_log=$work/watch.txt
: >"$watch_log"
vprobe watch 6000 >"$watch_log" &
watch_pid=$!
e2e_started_pids+=("$watch_pid")
wait_until 60 "grep -q '^window_already_there=' \"\$watch_log\"" || true
run_bad "/nonexistent/dir/log.csv" --report "$report" --log /nonexistent/dir/log.csv
wait_for_exit "$watch_pid" 30 || fail "the watch did not end"
expect '[[ $(value_of found <"$watch_log") == 0 ]]' "no window appeared for a log that cannot be made"
expect '[[ ! -e $report && ! -e $report.tmp ]]' "no report file was left behind"
run_bad "'--bogus'" --bogus
run_bad "'--duration'" --duration 0
run_bad "'--duration'" --duration 8s
run_bad "'--fail-above'" --fail-above -1
run_bad "'--fail-above'" --fail-above 2.5001
run_bad "'--fine'" --fine=yes
run_bad "'--no-window'" --no-window --duration 2
run_bad "'--report'" --report "$report" --report "$report"
run_bad "'--log'" --log
run_bad "'stray'" stray
expect '[[ ! -e $report ]]' "no file was made by any bad command line"

# 5. --help and --version.
help=$(wine "$VANTREL_EXE" --help </dev/null 2>&1 | tr -d '\r')
for option in --report --log --metrics --html --from --fine --no-window --duration --fail-above --help --version; do
    grep -qF -- "$option" <<<"$help" || fail "--help does not mention $option"
done
echo "ok: --help names every option"
expect '[[ $(wine "$VANTREL_EXE" --version </dev/null 2>&1 | tr -d "\r") == "Vantrel 1.9.0" ]]' "--version answers \"Vantrel 1.9.0\""
echo "PASS"
