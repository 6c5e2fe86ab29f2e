#!/usr/bin/env bash
# A reader holds the metrics file open without delete sharing (an exporter,
# a virus scanner) across known replaces (start, every 5 s, end): each time
# until one waits on it, then AFTER_MS more. Held 100 ms, each replace waits
# for it and the run ends 0 with a whole file; held past every retry, the
# replace is given up, named as a problem (exit 4), and no temporary is left.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"
work=$VANTREL_SCREENSHOT_DIR/held-file prom=$VANTREL_SCREENSHOT_DIR/held-file/vantrel.prom

# held_run AFTER_MS HOLDS SECONDS
held_run() {
    wanted=$2 && rm -rf "$work" && mkdir -p "$work/last"
    vantrel_start --no-window --metrics "$prom" --report "$work/report.json" --duration "$3"
    vprobe hold "$(winepath -w "$prom")" "$1" "$2" 40 >"$work/holds.txt" &
    holder=$! && e2e_started_pids+=("$holder")
    wait_for_exit "$VANTREL_PID" 40 || fail "the run did not end"
    wait "$holder"
    expect '[[ $(value_of holds <"$work/holds.txt") == "$wanted" && ! -e $prom.tmp ]]' \
        "the reader held $2 replaces for $1 ms more ($(tr '\n' ' ' <"$work/holds.txt")) and no temporary is left"
}

held_run 100 2 13
expect '((WAITED_EXIT_CODE == 0)) && [[ $(jq -c "[.final, .problems]" "$work/report.json") == "[true,[]]" ]]' \
    "the run ends with 0 ($WAITED_EXIT_CODE) and no problem: $(tr '\n' '|' <"$VANTREL_STDERR")"
cp "$prom" "$work/last/"
expect '(($(value_of blocked <"$work/holds.txt") == 2)) && bash "$VANTREL_SOURCE_DIR/tests/metrics/check_metrics.sh" metrics "$work/last" >/dev/null' \
    "each of the 2 replaces waited for the reader; the last metrics file is whole and passes promtool"

held_run 2000 2 10
wanted="cannot replace '$prom'" problems=$(jq -r '.problems[].message' "$work/report.json")
expect '((WAITED_EXIT_CODE == 4)) && [[ $problems == *"$wanted"* ]]' \
    "held past every retry, the run ends with 4 ($WAITED_EXIT_CODE) and the problem names the file: $problems"
echo "PASS"
