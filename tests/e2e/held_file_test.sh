#!/usr/bin/env bash
# A reader that holds the metrics file open without delete sharing (as an
# exporter or a virus scanner may). The metrics are replaced at the start,
# every 5 s and at the end; the probe holds the file across known replaces:
# until one is waiting on it, then AFTER_MS more. Held 100 ms, each replace
# waits for it: the run ends with 0, no problem told, the last file whole.
# Held past every retry, the replace is given up: the problem names the
# file, the run ends with 4 and no temporary is left beside it.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"
work=$VANTREL_SCREENSHOT_DIR/held-file
prom=$work/vantrel.prom

# held_run AFTER_MS HOLDS SECONDS: a run of SECONDS with the file held across HOLDS replaces.
held_run() {
    wanted=$2
    rm -rf "$work" && mkdir -p "$work/last"
    vantrel_start --no-window --metrics "$prom" --report "$work/report.json" --duration "$3"
    vprobe hold "$(winepath -w "$prom")" "$1" "$2" 40 >"$work/holds.txt" &
    holder=$! && e2e_started_pids+=("$holder")
    wait_for_exit "$VANTREL_PID" 40 || fail "the run did not end"
    wait "$holder"
    expect '[[ $(value_of holds <"$work/holds.txt") == "$wanted" && ! -e $prom.tmp ]]' \
        "the reader held $2 replaces for $1 ms more ($(tr '\n' ' ' <"$work/holds.txt")) and no temporary is left"
}

held_run 100 3 11
expect '((WAITED_EXIT_CODE == 0))' "the run ends with 0 ($WAITED_EXIT_CODE): $(tr '\n' '|' <"$VANTREL_STDERR")"
expect '[[ $(jq -c "[.final, .problems]" "$work/report.json") == "[true,[]]" ]]' "the final report has no problem"
expect '(($(value_of blocked <"$work/holds.txt") == 3))' "each of the 3 replaces waited for the reader"
cp "$prom" "$work/last/"
expect 'bash "$VANTREL_SOURCE_DIR/tests/metrics/check_metrics.sh" metrics "$work/last" >/dev/null' \
    "the last metrics file is in place, whole, and passes promtool"

held_run 1000 2 8
expect '((WAITED_EXIT_CODE == 4))' "held past every retry, the run ends with 4 ($WAITED_EXIT_CODE)"
wanted="cannot replace '$prom'" problems=$(jq -r '.problems[].message' "$work/report.json")
expect '[[ $problems == *"$wanted"* ]]' "the problem names the file: $problems"
echo "PASS"
