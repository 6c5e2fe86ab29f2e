#!/usr/bin/env bash
# --fine end to end: short stalls of CPU 1, far shorter than the timer
# period, show as wake-up lines of core 1 in the log and in the report.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/fine
rm -rf "$work"
mkdir -p "$work"
report=$work/report.json
log=$work/log.csv
jq_value() { jq -r "$1" "$report"; }

vantrel_start --fine --report "$report" --log "$log" --duration 7 --fail-above 12.5
vantrel_wait_window 15000 >/dev/null
sleep 2
for stall in 1 2 3; do
    stall_cpu 1 20 >/dev/null
    sleep 0.4
done
wait_for_exit "$VANTREL_PID" 30 || fail "the --fine run did not end by itself"
screenshot fine
# Timer events rarely meet a 20 ms stall; the wake-ups meet every one.
timer_max=$(jq -r '[.cores[].max_ms] | max' "$report")
expect '((WAITED_EXIT_CODE == 3))' \
    "wake-ups over --fail-above 12.5 end the run with 3 ($WAITED_EXIT_CODE; timer events at most $timer_max ms): $(head -c 300 "$VANTREL_STDERR")"

expect '[[ $(jq_value .fine.interval_us) == 1000 && -n $(jq_value .fine.method) ]]' \
    "the report names the method: $(jq -c .fine "$report")"
for core in 0 1; do
    events=$(jq_value ".cores[$core].wake.events")
    expect '((events > 4000))' "core $core woke about once a millisecond: $events wake-ups in 7 s"
done
stall_wakes=$(awk -F, 'NR > 1 && $2 == 1 && $5 == "wake" && $4 >= 15000 && $4 <= 30000' "$log" | wc -l)
expect '((stall_wakes >= 3))' "each 20 ms stall is a wake line of core 1 about 20 ms late ($stall_wakes lines)"
expect '[[ $(jq_value ".worst_wakes[0].core") == 1 && $(jq_value ".worst_wakes[0].late_us") -ge 15000 ]]' \
    "the worst wake-up of the run is core 1's: $(jq -c '.worst_wakes[0]' "$report")"
expect '(($(jq_value ".cores[1].wake.over_1ms") >= stall_wakes))' "over_1ms counts them"
# The log's wake lines are a sample (at most 20 a core and second, the rest
# counted); the last second's held line may land either side of the close.
wake_lines=$(awk -F, 'NR > 1 && $5 == "wake"' "$log" | wc -l)
over=$(jq_value "[.cores[].wake.over_1ms] | add")
not_logged=$(jq_value "[.cores[].wake.wake_lines_not_logged] | add")
expect '(( wake_lines + not_logged - over <= 2 && over - wake_lines - not_logged <= 2 ))' \
    "each wake-up over 1 ms is a wake line or counted not logged ($wake_lines + $not_logged, $over over 1 ms)"
expect '[[ $(jq -c "[.cores[].wake.sampled]" "$report") == "[true,true]" ]]' "both wake-up samplers ran pinned"

# Windows made to report a third processor: its wake-up sampler cannot be pinned.
vantrel_start_with_cpus 3 --fine --report "$report" --duration 3
wait_for_exit "$VANTREL_PID" 30 || fail "the --fine run with 3 processors did not end by itself"
expect '((WAITED_EXIT_CODE == 4))' "an unpinned wake-up sampler ends the run with 4 ($WAITED_EXIT_CODE)"
expect 'jq -e ".problems | map(.message) | index(\"the wake-up sampler of core 2 could not be pinned to its core\")" "$report" >/dev/null' \
    "the problems name core 2's wake-up sampler: $(jq -c .problems "$report")"
expect '[[ $(jq -c "[.cores[].wake.sampled]" "$report") == "[true,true,false]" ]]' \
    "core 2's wake figures are not sampled: $(jq -c "[.cores[].wake.sampled]" "$report")"
echo "PASS"
