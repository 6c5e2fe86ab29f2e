#!/usr/bin/env bash
# The timer resolution chosen for a run, end to end: --timer-resolution 0.5
# without the window ends by itself with what was asked and what Wine granted
# in the report and the log's notes; a value out of range or not a number is
# refused with 2 before anything starts; two logs of different resolutions
# compared with a warning; a sweep over resolutions. (Wine answers 1 ms for any request
# and changes nothing of how its timers arrive: this checks the mechanics.)
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/resolution
rm -rf "$work"
mkdir -p "$work"

# 1. A run at 0.5 ms.
vantrel_start --timer-resolution 0.5 --no-window --duration 3 --report "$work/r.json" --log "$work/l.csv"
wait_for_exit "$VANTREL_PID" 30 || fail "the run did not end by itself within 30 s"
expect '((WAITED_EXIT_CODE == 0))' "the run ends with 0 ($WAITED_EXIT_CODE): $(head -c 300 "$VANTREL_STDERR")"
resolution=$(jq -c .machine.timer_resolution "$work/r.json")
expect '[[ $(jq -r ".machine.timer_resolution.asked_ms" "$work/r.json") == 0.5 ]]' "the report says 0.5 ms was asked: $resolution"
expect '[[ $(jq -r ".machine.timer_resolution.granted_ms | numbers" "$work/r.json") =~ ^[0-9.]+$ ]]' "and what was granted"
expect 'grep -q ",,,,timer_resolution_asked=5000/[0-9]*$" "$work/l.csv" && grep -q ",,,,timer_resolution=[0-9]*/[0-9]*/[0-9]*$" "$work/l.csv"' \
    "the log's notes have the resolution asked, granted and in force: $(grep -o "timer_resolution.*" "$work/l.csv" | tr '\n' ' ')"

# 2. Refused before anything starts.
for bad in 20 abc; do
    code=0
    wine "$VANTREL_EXE" --timer-resolution "$bad" --no-window --duration 3 --report "$work/bad.json" \
        </dev/null >/dev/null 2>"$work/bad.err" || code=$?
    expect '((code == 2)) && grep -q "option .--timer-resolution. needs a timer resolution in ms from 0.5 to 15.625" "$work/bad.err"' \
        "--timer-resolution $bad ends 2 ($code) with a message: $(head -c 200 "$work/bad.err")"
    expect '[[ ! -e $work/bad.json ]]' "and leaves no report"
done
# 3. Two logs whose resolutions differ, compared: the page warns. (Wine
# answers 1 ms whatever is asked, so the second log says 15.625 ms as a
# machine without a request would.)
sed 's|,,,,timer_resolution=[0-9]*/|,,,,timer_resolution=156250/|' "$work/l.csv" >"$work/coarse.csv"
code=0
wine "$VANTREL_EXE" --html "$work/compare.html" --from "$work/l.csv" --from "$work/coarse.csv" \
    </dev/null >/dev/null 2>"$work/compare.err" || code=$?
expect '((code == 0)) && grep -q "id=\"different-resolutions\"" "$work/compare.html"' \
    "the comparison warns of the different resolutions ($code): $(grep -o "id=\"different-resolutions\">[^<]*" "$work/compare.html")"
expect 'grep -q "coarse.csv[^<]*; timer resolution 15.625 ms;" "$work/compare.html"' "and shows each run's resolution"
# 4. A sweep over two resolutions at the start's level: two entries, each
# naming its resolution, and the run ends by itself.
started=$SECONDS
vantrel_start --sweep 2 --resolutions default,1 --no-window --report "$work/sweep.json" --html "$work/sweep.html"
wait_for_exit "$VANTREL_PID" 30 || fail "the sweep did not end by itself within 30 s"
took=$((SECONDS - started))
expect '((WAITED_EXIT_CODE == 0 && took >= 4 && took <= 15))' "the sweep ended by itself with 0 ($WAITED_EXIT_CODE) after $took s"
expect '[[ $(jq -r "[.sweep[] | \"\(.level)@\(.timer_resolution_asked_ms)/\(.timer_resolution_ms | numbers)\"] | join(\",\")" "$work/sweep.json") =~ ^normal@null/[0-9.]+,normal@1/1$ ]]' \
    "two entries, default then 1 ms, each with the resolution in force: $(jq -c "[.sweep[] | {level, timer_resolution_ms, timer_resolution_asked_ms}]" "$work/sweep.json")"
expect '[[ $(jq -c "[.ended, .planned_seconds]" "$work/sweep.json") == "[\"duration\",4]" ]]' \
    "the plan is both stretches: $(jq -c "[.ended, .planned_seconds]" "$work/sweep.json")"
expect '[[ $(grep -o "<tr data-level=\"normal\" data-resolution=\"[a-z0-9.]*\"" "$work/sweep.html" | wc -l) == 2 ]]' \
    "the page's table has a row per resolution"
echo "PASS"
