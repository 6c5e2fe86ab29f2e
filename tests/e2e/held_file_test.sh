#!/usr/bin/env bash
# A reader that holds the metrics file open without delete sharing, 300 ms at
# a time, all through a run (as an exporter or a virus scanner may): each
# replace it holds up waits for it, so the run ends with 0, no problem told,
# and the last metrics file is whole. The metrics are replaced at the start,
# every 5 s and at the end: five replaces, of which some meet the reader.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"
work=$VANTREL_SCREENSHOT_DIR/held-file
rm -rf "$work" && mkdir -p "$work/last"

vantrel_start --no-window --metrics "$work/vantrel.prom" --report "$work/report.json" --duration 16
vprobe hold "$(winepath -w "$work/vantrel.prom")" 300 200 20 >"$work/holds.txt" &
holder=$! && e2e_started_pids+=("$holder")
wait_for_exit "$VANTREL_PID" 40 || fail "the run did not end"
wait "$holder"
blocked=$(value_of blocked <"$work/holds.txt")
expect '((WAITED_EXIT_CODE == 0))' "the run ends with 0 ($WAITED_EXIT_CODE): $(tr '\n' '|' <"$VANTREL_STDERR")"
expect '[[ $(jq -c "[.final, .problems]" "$work/report.json") == "[true,[]]" ]]' "the final report has no problem"
expect '((${blocked:-0} >= 1))' "the reader held up $blocked replaces in $(value_of holds <"$work/holds.txt") holds"
cp "$work/vantrel.prom" "$work/last/"
expect '[[ ! -e $work/vantrel.prom.tmp ]] && bash "$VANTREL_SOURCE_DIR/tests/metrics/check_metrics.sh" metrics "$work/last" >/dev/null' \
    "the last metrics file is in place, whole, and passes promtool"
echo "PASS"
