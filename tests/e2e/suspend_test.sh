#!/usr/bin/env bash
# A machine that sleeps: the whole Wine process stopped for 3 s stands in for
# the pause. Between the suspend and resume messages it is a suspended span,
# not lateness (exit 0 with --fail-above 50); the same stop without them is a
# stall (exit 3). The hidden window of --no-window takes the messages too.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"
work=$VANTREL_SCREENSHOT_DIR/suspend
rm -rf "$work" && mkdir -p "$work"

power() { [[ $(vprobe power "$1" | value_of sent) == 1 ]] || fail "vprobe power $1 could not send"; }

# run NAME MESSAGES: a 12 s run, stopped for 3 s after 2 s, with or without
# the power messages around the stop. `wine` execs into the program, so the
# process started is the program's own.
run() {
    report=$work/$1.json
    vantrel_start --report "$report" --html "$work/$1.html" --log "$work/$1.csv" --duration 12 --fail-above 50
    vantrel_wait_window 15000 >/dev/null
    sleep 2
    [[ $(cat "/proc/$VANTREL_PID/comm") == vantrel.exe ]] || fail "process $VANTREL_PID is not vantrel.exe"
    (($2)) && power suspend
    kill -STOP "$VANTREL_PID" && sleep 3 && kill -CONT "$VANTREL_PID"
    (($2)) && power resume
    wait_for_exit "$VANTREL_PID" 30 || fail "the $1 run did not end by itself"
    worst=$(jq -r '[.cores[].max_ms | select(. != null)] | max' "$report")
    asleep=$(jq -r .suspended_seconds "$report")
}

run asleep 1
expect '((WAITED_EXIT_CODE == 0 && worst <= 50))' "a suspended span is no stall: exit $WAITED_EXIT_CODE, worst $worst ms"
expect '[[ $(jq -r ".suspended | length" "$report") == 1 ]] && awk -v s="$asleep" "BEGIN { exit !(s >= 2.9 && s < 6) }"' \
    "one suspended span of about 3 s: $(jq -c .suspended "$report")"
expect 'grep -q "class=\"suspended\"" "$work/asleep.html"' "the page shades it"

run stalled 0
expect '((WAITED_EXIT_CODE == 3))' "the same stop without the messages is a stall: exit $WAITED_EXIT_CODE, worst $worst ms"
expect '[[ $(jq -c "[.suspended_seconds, (.suspended | length)]" "$report") == "[0,0]" ]]' "and nothing suspended"

report=$work/hidden.json
vantrel_start --no-window --report "$report" --duration 3
vantrel_wait_window 15000 >/dev/null
power suspend && sleep 0.5 && power resume && power resume-user
wait_for_exit "$VANTREL_PID" 30 || fail "the --no-window run did not end by itself"
asleep=$(jq -r .suspended_seconds "$report")
expect '[[ $(jq -r ".suspended | length" "$report") == 1 ]] && awk -v s="$asleep" "BEGIN { exit !(s >= 0.4 && s < 3) }"' \
    "the hidden window of --no-window takes the messages: $(jq -c .suspended "$report")"
echo "PASS"
