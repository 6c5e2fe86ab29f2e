#!/usr/bin/env bash
# Stall causes end to end: two 100 ms busy stalls of CPU 1 and one 300 ms
# stop of the whole process. Core 1's wake-ups over 5 ms in the report are
# counted as threads twice and idle once, and the worst wake-ups say why.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/causes
rm -rf "$work"
mkdir -p "$work"
report=$work/report.json
page=$work/page.html
jq_value() { jq -r "$1" "$report"; }

vantrel_start --fine --report "$report" --html "$page" --duration 9
vantrel_wait_window 15000 >/dev/null
sleep 2
for stall in 1 2; do
    stall_cpu 1 100 >/dev/null
    sleep 1
done
# Every thread of the process stops: its cores go idle, as in a pause of a
# virtual machine, if nothing else wants CPU 1 meanwhile. Linux's own count
# of CPU 1's idle time (10 ms units) tells whether it did.
cpu1_idle() { awk '$1 == "cpu1" { print $5 + $6 }' /proc/stat; }
pids="$VANTREL_PID $(prefix_processes vantrel.exe)"
idle_before=$(cpu1_idle)
kill -STOP $pids 2>/dev/null || true
sleep 0.3
kill -CONT $pids 2>/dev/null || true
idle_ms=$(( ($(cpu1_idle) - idle_before) * 10 ))
wait_for_exit "$VANTREL_PID" 30 || fail "the run did not end by itself"
expect '((WAITED_EXIT_CODE == 0))' "the run ended with 0 ($WAITED_EXIT_CODE): $(head -c 300 "$VANTREL_STDERR")"

resolution=$(jq_value .accounting.resolution_us)
expect '((resolution > 0 && resolution <= 16000))' "the accounting's resolution was measured: $resolution us"
causes=$(jq -c '.cores[1].causes.wake' "$report")
# Other work on a shared machine may stall the cores too: at least these.
expect '(( $(jq_value .cores[1].causes.wake.threads) >= 2 ))' "core 1's stalls: threads at least twice: $causes"
core1='[.worst_wakes[] | select(.core == 1)]'
busy=$(jq -c "[$core1[] | select(.late_us >= 80000 and .late_us < 200000)]" "$report")
expect '[[ $(jq -r "length >= 2 and all(.cause == \"threads\" and .during.threads_ms >= 70)" <<<"$busy") == true ]]' \
    "the busy stalls' worst wake-ups say threads, with about their length of thread time: $busy"
((idle_ms >= 200)) || fail "CPU 1 was idle only $idle_ms ms of the 300 ms stop: other work ran there, so no idle stall can be shown"
expect '(( $(jq_value .cores[1].causes.wake.idle) >= 1 ))' "core 1's stalls: idle at least once: $causes"
stop=$(jq -c "[$core1[] | select(.late_us >= 250000)][0]" "$report")
expect '[[ $(jq -r ".cause == \"idle\" and .during.idle_ms >= 200" <<<"$stop") == true ]]' \
    "the stop's worst wake-up says idle: $stop"
cause_cells() { grep -oE "<td class=\"text( words)?\" data-cause=\"$1\"" "$page" | wc -l; }
expect '(( $(cause_cells threads) >= 2 && $(cause_cells idle) >= 1 ))' \
    "the page's cause column says threads ($(cause_cells threads)) and idle ($(cause_cells idle))"
echo "PASS"
