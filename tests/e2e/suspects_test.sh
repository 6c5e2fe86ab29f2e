#!/usr/bin/env bash
# Suspects end to end: a Windows program of the test's own (spin_loop.exe)
# spins 150 ms three times at real-time priority on CPU 1. For each spin a
# worst wake-up of core 1 is caused by threads, with that program first
# among its suspects and at least 100 ms of its CPU time; the page names it
# in the cause column and in its table, and the metrics count the snapshots.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support
command -v jq >/dev/null || fail "jq is not installed"
SPIN_EXE=$VANTREL_BUILD_DIR/tests/spin_loop.exe
[[ -f $SPIN_EXE ]] || fail "not built: $SPIN_EXE"

work=$VANTREL_SCREENSHOT_DIR/suspects
rm -rf "$work"
mkdir -p "$work"
report=$work/report.json
page=$work/page.html
metrics=$work/vantrel.prom
spins=$work/spins.txt

vantrel_start --fine --report "$report" --html "$page" --metrics "$metrics" --duration 12
vantrel_wait_window 15000 >/dev/null
sleep 1
# Wine starts the program at real-time priority on CPU 1 too: its first
# pause keeps that start apart from the spins.
chrt -f 50 taskset -c 1 wine "$SPIN_EXE" 150 3 1000 </dev/null >"$spins" 2>/dev/null &
spin_pid=$!
e2e_started_pids+=("$spin_pid")
wait_for_exit "$spin_pid" 30 || fail "spin_loop.exe did not end by itself"
expect '((WAITED_EXIT_CODE == 0))' "spin_loop.exe spun and ended: $(tr -d '\r' <"$spins" | tr '\n' ' ')"
wait_for_exit "$VANTREL_PID" 30 || fail "the run did not end by itself"
expect '((WAITED_EXIT_CODE == 0))' "the run ended with 0 ($WAITED_EXIT_CODE): $(head -c 300 "$VANTREL_STDERR")"
expect '! grep -q "CPU times" "$VANTREL_STDERR"' "no snapshot failed: $(head -c 300 "$VANTREL_STDERR")"

mapfile -t spun < <(tr -d '\r' <"$spins" | grep '^spin=')
expect '((${#spun[@]} == 3))' "three spins: ${spun[*]}"
# A worst wake-up's time in ms since 1970, from its at_utc.
at_ms='((.at_utc[0:19] + "Z" | fromdateiso8601) * 1000 + (.at_utc[20:23] | tonumber))'
shortest_window=100000
for line in "${spun[@]}"; do
    end=${line##*end_utc_ms=}
    # Core 1's wake-up that the spin held back comes as it lets go.
    wake=$(jq -c --argjson stop "$end" \
        "[.worst_wakes[] | select(.core == 1 and .late_us >= 100000 and $at_ms >= \$stop - 100 and $at_ms <= \$stop + 500)][0]" \
        "$report")
    expect '[[ $(jq -r ".cause == \"threads\" and .suspects[0].process == \"spin_loop.exe\" and .suspects[0].cpu_ms >= 100 and .suspects[0].window_ms >= .suspects[0].cpu_ms" <<<"$wake") == true ]]' \
        "the wake-up held back by ${line%% *} is caused by threads, spin_loop.exe first among its suspects: $wake"
    window=$(jq -r '.suspects[0].window_ms // 100000 | floor' <<<"$wake")
    ((window < shortest_window)) && shortest_window=$window
done
# At the steady pace alone every window would span about two seconds; the
# snapshot taken as soon as a stall is seen ends it just after the spin (a
# second after the one that ended the spin before).
expect '((shortest_window < 1700))' "a spin's window ends with the snapshot taken at once after it: $shortest_window ms"

suspect_cells=$(grep -o '<span class="suspect" data-process="spin_loop.exe"' "$page" | wc -l)
expect '((suspect_cells >= 3))' "the page's cause column names spin_loop.exe ($suspect_cells cells)"
expect 'grep -q "<tr data-process=\"spin_loop.exe\"><td class=\"text\">spin_loop.exe</td>" "$page"' \
    "the page's table of suspects lists spin_loop.exe"
taken=$(awk '$1 == "vantrel_suspect_snapshots_total" { print $2 }' "$metrics")
failed=$(awk '$1 == "vantrel_suspect_snapshot_failures_total" { print $2 }' "$metrics")
expect '((taken >= 8 && failed == 0))' "the metrics count the snapshots: $taken taken, $failed failed"
echo "PASS"
