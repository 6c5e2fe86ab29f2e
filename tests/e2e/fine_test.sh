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

# No --duration: the run is closed once the stalls are over, however long a
# loaded machine took to start it and the stalls.
vantrel_start --fine --report "$report" --log "$log" --fail-above 12.5
vantrel_wait_window 60000 >/dev/null
sleep 2
stalls=()
for stall in 1 2 3; do
    stalls+=("$(stall_cpu 1 20)")
    # A second of its own for each stall, the last one's ended before the
    # close: the log keeps at most 20 wake lines of a core a second (of the
    # rest only the worst), so two stalls of one busy second share a line.
    sleep 1.1
done
vantrel_close 5000
WAITED_EXIT_CODE=$VANTREL_EXIT_CODE
screenshot fine
# Timer events rarely meet a 20 ms stall; the wake-ups meet every one.
timer_max=$(jq -r '[.cores[].max_ms] | max' "$report")
expect '((WAITED_EXIT_CODE == 3))' \
    "wake-ups over --fail-above 12.5 end the run with 3 ($WAITED_EXIT_CODE; timer events at most $timer_max ms): $(head -c 300 "$VANTREL_STDERR")"

expect '[[ $(jq_value .fine.interval_us) == 1000 && -n $(jq_value .fine.method) ]]' \
    "the report names the method: $(jq -c .fine "$report")"
# Each stall is a wake line of core 1 whose wait spans the whole stall: due
# (its time less its lateness) before the stall began, woken after it ended,
# by the stall's own clock readings (ms of the UTC day; 2 ms for rounding).
# The log is a sample, at most 20 lines a core and second (the worst of the
# rest kept): on a machine so busy that the second of a stall already had
# its 20, the stall's line may be left out, and then those 20 are there.
stall_wakes=0
shortest_us=1000000
core1_not_logged=$(jq_value ".cores[1].wake.wake_lines_not_logged")
for output in "${stalls[@]}"; do
    started_us=$(sed -n 's/.*started_utc_us=\([0-9]*\).*/\1/p' <<<"$output")
    ended_us=$(sed -n 's/.*ended_utc_us=\([0-9]*\).*/\1/p' <<<"$output")
    [[ -n $started_us && -n $ended_us ]] || fail "the stall did not say when it ran: $output"
    if ((ended_us - started_us < shortest_us)); then shortest_us=$((ended_us - started_us)); fi
    # Answers the spanning line, or "full N" with the lines of core 1 within
    # a second of the stall's end.
    found=$(awk -F, -v from=$(((started_us / 1000) % 86400000)) -v to=$(((ended_us / 1000) % 86400000)) '
        NR > 1 && $2 == 1 && $5 == "wake" {
            split(substr($1, 12, 12), t, ":")
            woke = (t[1] * 3600 + t[2] * 60) * 1000 + t[3] * 1000
            if (woke < from - 43200000) woke += 86400000
            due = woke - $4 / 1000
            if (due <= from + 2 && woke >= to - 1) { print; found = 1; exit }
            if (woke >= to - 1000 && woke <= to + 1000) ++near
        }
        END { if (!found) print "full " near + 0 }' "$log")
    expect '[[ $found != full* ]] || ((${found#full } >= 20 && core1_not_logged > 0))' \
        "a wake line of core 1 spans the stall, or its second logged its 20 ($found; $core1_not_logged not logged): $(tr '\n' ' ' <<<"$output")"
    if [[ $found != full* ]]; then stall_wakes=$((stall_wakes + 1)); fi
done
note "$stall_wakes of ${#stalls[@]} stalls have a line of their own in the log"
# The grid is one deadline a millisecond: each wake-up meets one, and one
# that came late skips those it missed. A busy machine wakes the samplers
# less often, never on fewer deadlines; they ran at least from the first
# stall's start to the last one's end.
first_us=$(sed -n 's/.*started_utc_us=\([0-9]*\).*/\1/p' <<<"${stalls[0]}")
last_us=$(sed -n 's/.*ended_utc_us=\([0-9]*\).*/\1/p' <<<"${stalls[2]}")
for core in 0 1; do
    deadlines=$(jq_value ".cores[$core].wake.events + .cores[$core].wake.skipped")
    expect '((deadlines >= (last_us - first_us) / 1000))' \
        "core $core's wake-ups met a deadline a millisecond: $deadlines over the $(((last_us - first_us) / 1000)) ms of the stalls"
done
longest_us=$(jq_value '[.worst_wakes[] | select(.core == 1) | .late_us] | max')
expect '((${longest_us:-0} >= shortest_us - 2000))' "the worst wake-ups of core 1 hold a stall of $shortest_us us: $(jq -c '.worst_wakes' "$report" | head -c 300)"
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
