#!/usr/bin/env bash
# A second run naming any output of a running one is refused with 2 and the
# first goes on untouched (its metrics keep its start time) to end 0; so is
# one whose report's temporary is the first's report. A run killed outright
# holds up no later run.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
work=$VANTREL_SCREENSHOT_DIR/two-runs
rm -rf "$work" && mkdir -p "$work"
w() { winepath -w "$work/$1"; }
started() { grep '^vantrel_start_time_seconds' "$work/m.prom"; }

# Long enough for every second run on a loaded machine; closed when they are done.
vantrel_start --no-window --metrics "$(w m.prom)" --log "$(w l.csv)" --report "$(w r.json)" --html "$(w p.html)" --duration 120
wait_until 20 '[[ -s $work/p.html ]]' || fail "the first run made no page"
own=$(started)
for row in --metrics:m.prom --log:l.csv --report:r.json --html:p.html; do
    code=0
    wine "$VANTREL_EXE" --no-window "${row%%:*}" "$(w "${row#*:}")" --duration 1 </dev/null >/dev/null 2>"$work/err.txt" || code=$?
    expect '((code == 2)) && grep -qF "cannot write '\''$(w "${row#*:}")'\'': another run of Vantrel writes it" "$work/err.txt" && [[ $(started) == "$own" ]]' \
        "a second run with ${row%%:*} is refused with 2 ($code): $(head -n1 "$work/err.txt"); the first's metrics are its own"
done
vantrel_close
expect '((VANTREL_EXIT_CODE == 0)) && [[ $(started) == "$own" && ! -e $work/m.prom.lock ]]' \
    "the first run ends with 0 ($VANTREL_EXIT_CODE), its metrics its own, its lock gone"

# A run whose report is the temporary of another's report: the later one is
# refused, and the first's final report is there, whole.
vantrel_start --no-window --report "$(w r.json.tmp)" --duration 5
wait_until 20 '[[ -s $work/r.json.tmp ]]' || fail "the run with the report r.json.tmp made none"
code=0
wine "$VANTREL_EXE" --no-window --report "$(w r.json)" --duration 1 </dev/null >/dev/null 2>"$work/err.txt" || code=$?
expect '((code == 2)) && grep -qF "another run of Vantrel writes it" "$work/err.txt"' \
    "a run whose report's temporary is another's report is refused with 2 ($code): $(head -n1 "$work/err.txt")"
wait_for_exit "$VANTREL_PID" 30 || fail "the run with the report r.json.tmp did not end"
expect '((WAITED_EXIT_CODE == 0)) && [[ $(jq .final "$work/r.json.tmp") == true ]]' \
    "that run ends with 0 ($WAITED_EXIT_CODE) and its final report is whole: final $(jq .final "$work/r.json.tmp" 2>&1)"

vantrel_start --no-window --metrics "$(w m.prom)" --duration 60
wait_until 20 '[[ $(started) != "$own" ]]' || fail "the run to be killed made no metrics"
kill -9 "$VANTREL_PID" && wait_for_exit "$VANTREL_PID" 10 || fail "the run was not killed"
vantrel_start --no-window --metrics "$(w m.prom)" --duration 1
wait_for_exit "$VANTREL_PID" 30 || fail "the run after the killed one did not end"
expect '((WAITED_EXIT_CODE == 0))' "a run after a killed one ends with 0 ($WAITED_EXIT_CODE): $(head -n1 "$VANTREL_STDERR")"
echo "PASS"
