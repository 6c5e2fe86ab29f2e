#!/usr/bin/env bash
# An endless run keeps its log bounded: --log-max-mb rolls the log over to
# its .1 name, the report counts the rolls, and both files make a page
# with --from. A bound of a few KB, so that the log of a quiet machine (a
# few KB a second) rolls within seconds.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/log_roll
rm -rf "$work"
mkdir -p "$work"
log=$work/run.csv
rolled=$work/run.1.csv
report=$work/report.json

w() { winepath -w "$1"; }
wine "$VANTREL_EXE" --no-window --fine --log "$(w "$log")" --log-max-mb 0.004 --report "$(w "$report")" --duration 6 \
    </dev/null >/dev/null 2>&1 && code=0 || code=$?
expect '((code == 0))' "the run with --log-max-mb 0.004 ends 0 ($code)"
rolls=$(jq -r .log_rolls "$report")
expect '[[ -f $rolled ]] && ((rolls >= 1))' "the log rolled over to run.1.csv ($rolls times by the report)"
size=$(stat -c %s "$rolled")
# 0.004 MB = 4194 bytes, and at most one batch of the writer more.
expect '((size >= 4194 && size < 4194 + 20000))' "the rolled log stopped at its bound ($size bytes)"
expect '[[ $(head -n1 "$rolled") == $(head -n1 "$log") && $(head -n1 "$log") == utc,* ]]' "both logs start with the header"
expect '[[ ! -e $log.lock && ! -e $rolled.lock ]]' "no lock is left after the run"
# A run that ends just after a roll leaves the new file with its header
# alone: that is refused as a log without events, not as a foreign file.
from() {
    wine "$VANTREL_EXE" --from "$(w "$1")" --html "$(w "${1%.csv}.html")" </dev/null >/dev/null 2>"$work/from.txt" &&
        code=0 || code=$?
}
grep -v ',timer$\|,wake$' "$rolled" >"$work/header.csv"
from "$work/header.csv"
expect '((code == 2)) && grep -q "holds no events yet, only its header" "$work/from.txt"' \
    "--from a log of its header alone ends 2 and says so ($code: $(head -c 200 "$work/from.txt"))"
from "$rolled"
expect '((code == 0)) && grep -q "</html>" "$work/run.1.html"' "--from run.1.csv makes a page ($code)"
if grep -q ',timer$\|,wake$' "$log"; then
    from "$log"
    expect '((code == 0)) && grep -q "</html>" "$work/run.html"' "--from run.csv makes a page ($code)"
else
    note "the run ended just after a roll: run.csv holds its header alone"
fi
