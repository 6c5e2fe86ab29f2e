#!/usr/bin/env bash
# Runs nobody watches: a log on a full disk, started without standard
# handles (as from Explorer) and with standard error open; a report whose
# directory goes away during the run; the end of the session; a run shorter
# than the samplers' start. Each ends by itself, within the limit, with the
# exit code that says whether the record can be trusted, and tells each
# problem once.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/unattended
rm -rf "$work"
mkdir -p "$work"
report=$work/report.json
jq_value() { jq -r "$1" "$report"; }

# Windows titled "Vantrel" on the screen: the monitor, and a message box
# would be a second one.
visible_vantrel_windows() {
    { xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null || true; } | wc -l
}

# 1 and 2: the log on a full disk, without and with standard error.
for handles in none stderr; do
    started=$SECONDS
    if [[ $handles == none ]]; then
        # As from Explorer: no console and no standard handles at all.
        detached=$work/detached.txt
        vprobe detached 14000 "$(winepath -w "$VANTREL_EXE")" --log 'Z:\dev\full' --report "$(winepath -w "$report")" \
            --duration 4 >"$detached" &
    else
        vantrel_start --log 'Z:\dev\full' --report "$report" --duration 4
    fi
    pid=$!
    e2e_started_pids+=("$pid")
    most_windows=0
    deadline=$((started + 16))
    while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do
        shown=$(visible_vantrel_windows)
        ((shown > most_windows)) && most_windows=$shown
        sleep 0.1
    done
    wait_for_exit "$pid" 1 || fail "standard handles $handles: the run did not end within 14 s"
    if [[ $handles == none ]]; then
        [[ $(value_of ended <"$detached") == 1 ]] || fail "without standard handles the run did not end within 14 s"
        WAITED_EXIT_CODE=$(value_of exit_code <"$detached")
    fi
    expect '((WAITED_EXIT_CODE == 4))' "standard handles $handles: a lost log ends with exit code 4 ($WAITED_EXIT_CODE) after $((SECONDS - started)) s"
    expect '((most_windows <= 1))' "standard handles $handles: no window but the monitor's appeared ($most_windows at most)"
    expect '[[ $(jq_value .final) == true && $(jq_value .complete) == false ]]' "the final report says the record is not complete"
    expect '[[ $(jq_value "[.problems[].message | select(test(\"dev.full\"))] | length") == 1 ]]' \
        "the report names the full disk once: $(jq -c '[.problems[].message]' "$report")"
    expect '[[ $(jq_value .log_dropped) == $(jq_value "[.cores[].events] | add") ]]' \
        "every event counts as dropped from the log ($(jq_value .log_dropped))"
    if [[ $handles == stderr ]]; then
        expect '[[ $(grep -c "dev.full" "$VANTREL_STDERR") == 1 ]]' "standard error tells the full disk once: $(tr '\n' '|' <"$VANTREL_STDERR")"
    fi
done

# 3: the report's directory removed during the run: the run goes on to its
# end, and says the report could not be written.
gone=$work/gone
mkdir -p "$gone"
started=$SECONDS
vantrel_start --report "$gone/report.json" --duration 8
vantrel_wait_window 15000 >/dev/null
sleep 1
rm -rf "$gone"
wait_for_exit "$VANTREL_PID" 30 || fail "the run without its report directory did not end"
expect '((WAITED_EXIT_CODE == 4 && SECONDS - started >= 7))' "the run went on to its end and ended with 4 ($WAITED_EXIT_CODE)"
expect 'grep -q "report.json" "$VANTREL_STDERR"' "standard error says the report cannot be written: $(head -n1 "$VANTREL_STDERR")"

# 4: the end of the session finishes the record before the process may be
# ended: the report is final as soon as the window has answered.
vantrel_start --report "$report" --fail-above 5000
vantrel_wait_window 15000 >/dev/null
sleep 2
ended=$(vprobe end-session)
expect '[[ $(value_of answered <<<"$ended") == 1 ]]' "the window answered the end of the session in $(value_of end_session_ms <<<"$ended") ms"
expect '[[ $(jq_value .final) == true ]] && (($(jq_value "[.cores[].events] | add") > 10))' "the report was final when it answered"
vantrel_close
expect '((VANTREL_EXIT_CODE == 0))' "the run still ends with 0 ($VANTREL_EXIT_CODE)"

# 5: a run over before core 1's sampler reached its timer did not see it fail.
rm -f "$report"
vantrel_start --no-window --report "$report" --duration 0.05
wait_for_exit "$VANTREL_PID" 15 || fail "a run of 50 ms did not end"
expect '((WAITED_EXIT_CODE == 0)) && [[ $(jq_value .complete) == true && $(jq_value "[.cores[].sampled] | all") == true ]]' \
    "a run of 50 ms ends with 0 ($WAITED_EXIT_CODE), complete, every core sampled: $(jq -c '[.problems[].message]' "$report")"
echo "PASS"
