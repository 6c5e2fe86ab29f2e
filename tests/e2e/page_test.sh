#!/usr/bin/env bash
# The page of a run (--html): made live during a run with a stall of CPU 1,
# checked in a real browser; made again afterwards from the run's log
# (--from) with the same worst events on the same timelines; and --from on
# bad input.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support

work=$VANTREL_SCREENSHOT_DIR/page
rm -rf "$work"
mkdir -p "$work"
page=$work/live.html
log=$work/run.csv
now_ms() { date -u +%s%3N; }

vantrel_start --html "$page" --log "$log" --duration 8
vantrel_wait_window 15000 >/dev/null
sleep 3
stall_from=$(now_ms)
stall_cpu 1 300 >/dev/null
stall_to=$(($(now_ms) + 200))
wait_for_exit "$VANTREL_PID" 30 || fail "the run did not end by itself"
expect '((WAITED_EXIT_CODE == 0))' "the run ended with 0 ($WAITED_EXIT_CODE)"
expect '(($(stat -c %s "$page") < 200000))' "the page of an 8 s run is small: $(stat -c %s "$page") bytes"

bash "$VANTREL_SOURCE_DIR/tests/e2e/page_browser_check.sh" "$page" 2 1 "$stall_from" "$stall_to" "$work" ||
    fail "the page is not right in the browser (see above)"
echo "ok: in chromium, a timeline per core, the stall marked on core 1 and first in the table, nothing fetched"

# The same page from the log, afterwards.
marks() { grep -o 'data-core="[0-9]*" data-utc="[0-9]*" data-late-us="-\?[0-9]*"' "$1" | sort; }
wine "$VANTREL_EXE" --html "$work/from.html" --from "$log" </dev/null >/dev/null 2>"$work/from.err" ||
    fail "--from the run's log failed: $(cat "$work/from.err")"
expect '[[ -n $(marks "$page") && $(marks "$page") == $(marks "$work/from.html") ]]' \
    "--from the log marks the same $(marks "$page" | wc -l) worst events on the same timelines"

# Bad input: a clear message and 2, or a page that says the log ends early.
from_bad() {
    local expected=$1 log_path=$2 code=0
    wine "$VANTREL_EXE" --html "$work/bad.html" --from "$log_path" </dev/null >/dev/null 2>"$work/bad.err" || code=$?
    expect '((code == 2)) && grep -q "$expected" "$work/bad.err" && [[ ! -e $work/bad.html ]]' \
        "--from $(basename "$log_path") ends with 2 ($code): $(head -n1 "$work/bad.err" | tr -d '\r')"
}
from_bad "no such file" "$work/missing.csv"
printf '{"program": "Vantrel"}\n' >"$work/report.json"
from_bad "is not a log" "$work/report.json"
head -c $(($(stat -c %s "$log") - 7)) "$log" >"$work/cut.csv"
wine "$VANTREL_EXE" --html "$work/cut.html" --from "$work/cut.csv" </dev/null >/dev/null 2>&1 ||
    fail "--from a log cut in the middle of a line failed"
expect 'grep -qi "log ends early" "$work/cut.html"' "the page of a cut log says the log ends early"
echo "PASS"
