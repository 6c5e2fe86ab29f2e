#!/usr/bin/env bash
# A reader that holds the metrics file open without delete sharing, 300 ms at
# a time, all through a run (as an exporter or a virus scanner may): each
# replace it holds up waits for it, so the run ends with 0, no problem told,
# and the last metrics file is whole.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/held-file
rm -rf "$work"
mkdir -p "$work"
metrics=$work/vantrel.prom
report=$work/report.json

# The metrics are replaced at the start, every 5 s and at the end: five
# replaces, of which a reader holding the file 60% of the time meets some.
vantrel_start --no-window --metrics "$metrics" --report "$report" --duration 16
{ wine "$VANTREL_BUILD_DIR/tests/holdfile.exe" "$(winepath -w "$metrics")" 300 200 20 </dev/null 2>/dev/null ||
    true; } | sed -u 's/\r$//' >"$work/holds.txt" &
holder=$!
e2e_started_pids+=("$holder")
wait_for_exit "$VANTREL_PID" 40 || fail "the run did not end"
wait "$holder"
blocked=$(value_of blocked <"$work/holds.txt")
expect '((WAITED_EXIT_CODE == 0))' "the run ends with 0 ($WAITED_EXIT_CODE): $(tr '\n' '|' <"$VANTREL_STDERR")"
expect '[[ $(jq -r ".final, (.problems | length)" "$report" | tr "\n" " ") == "true 0 " ]]' \
    "the final report has no problem: $(jq -c .problems "$report")"
expect '((${blocked:-0} >= 1))' "the reader held up $blocked replaces in $(value_of holds <"$work/holds.txt") holds"
mkdir -p "$work/last" && cp "$metrics" "$work/last/"
expect '[[ ! -e $metrics.tmp ]] && bash "$VANTREL_SOURCE_DIR/tests/metrics/check_metrics.sh" metrics "$work/last" >/dev/null' \
    "the last metrics file is in place, whole, and passes promtool"
echo "PASS"
