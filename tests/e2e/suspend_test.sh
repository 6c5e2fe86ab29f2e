#!/usr/bin/env bash
# A machine that sleeps: the whole Wine process stopped for 3 s stands in for
# the pause. Between the suspend and resume messages it is a suspended span,
# not lateness (exit 0 with --fail-above 50); the same stop without them is a
# stall (exit 3). The hidden window of --no-window takes the messages too.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"
POWERPROBE_EXE=$VANTREL_BUILD_DIR/tests/powerprobe.exe
[[ -f $POWERPROBE_EXE ]] || fail "not built: $POWERPROBE_EXE"

work=$VANTREL_SCREENSHOT_DIR/suspend
rm -rf "$work"
mkdir -p "$work"

power() {
    local output
    output=$({ wine "$POWERPROBE_EXE" "$1" </dev/null 2>/dev/null || true; } | sed -u 's/\r$//')
    [[ $(value_of sent <<<"$output") == 1 ]] || fail "powerprobe $1 could not send: $output"
}

# Stops vantrel.exe for SECONDS, then lets it go on. `wine` execs into the
# program, so the process started is the program's own.
pause_vantrel() {
    [[ $(cat "/proc/$VANTREL_PID/comm" 2>/dev/null) == vantrel.exe ]] || fail "process $VANTREL_PID is not vantrel.exe"
    kill -STOP "$VANTREL_PID"
    sleep "$1"
    kill -CONT "$VANTREL_PID"
}

# run NAME MESSAGES: a 12 s run, paused for 3 s after 2 s, with or without the
# power messages around the pause.
run() {
    local name=$1 messages=$2
    report=$work/$name.json
    vantrel_start --report "$report" --html "$work/$name.html" --log "$work/$name.csv" --duration 12 --fail-above 50
    vantrel_wait_window 15000 >/dev/null
    sleep 2
    [[ $messages == 0 ]] || power suspend
    pause_vantrel 3
    [[ $messages == 0 ]] || power resume
    wait_for_exit "$VANTREL_PID" 30 || fail "the $name run did not end by itself"
}

run asleep 1
worst=$(jq -r '[.cores[].max_ms | select(. != null)] | max' "$report")
asleep=$(jq -r .suspended_seconds "$report")
expect '((WAITED_EXIT_CODE == 0))' "a suspended span is no stall: exit $WAITED_EXIT_CODE, worst $worst ms; \
span $(jq -c .suspended "$report"), events over 50 ms: $(awk -F, 'NR > 1 && $3 > 50' "$work/asleep.csv" | tr '\n' ' ')"
expect '((worst <= 50))' "no event over 50 ms ($worst ms)"
expect '[[ $(jq -r ".suspended | length" "$report") == 1 ]]' "one suspended span: $(jq -c .suspended "$report")"
expect 'awk -v s="$asleep" "BEGIN { exit !(s >= 2.9 && s < 6) }"' "about 3 s asleep ($asleep s)"
expect 'grep -q "class=\"suspended\"" "$work/asleep.html"' "the page shades it"

run stalled 0
worst=$(jq -r '[.cores[].max_ms | select(. != null)] | max' "$report")
expect '((WAITED_EXIT_CODE == 3))' "the same stop without the messages is a stall: exit $WAITED_EXIT_CODE, worst $worst ms"
expect '[[ $(jq -c "[.suspended_seconds, (.suspended | length)]" "$report") == "[0,0]" ]]' "and nothing suspended"

report=$work/hidden.json
vantrel_start --no-window --report "$report" --duration 3
vantrel_wait_window 15000 >/dev/null
power suspend
sleep 0.5
power resume
power resume-user
wait_for_exit "$VANTREL_PID" 30 || fail "the --no-window run did not end by itself"
asleep=$(jq -r .suspended_seconds "$report")
expect '[[ $(jq -r ".suspended | length" "$report") == 1 ]] && awk -v s="$asleep" "BEGIN { exit !(s >= 0.4 && s < 3) }"' \
    "the hidden window of --no-window takes the messages: $(jq -c .suspended "$report")"
echo "PASS"
