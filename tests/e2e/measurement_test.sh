#!/usr/bin/env bash
# The measurement, end to end: CPU 1 is held by a real-time busy loop for
# 400 ms, so core 1's sampler (pinned there) gets its next timer event late
# while core 0's does not. Row 1 must then show at least two new full-height
# graph columns and a label of at least +250ms; row 0 no new full-height
# column and a small label.
#
# Why 400 ms: the stall starts at an unknown point of core 1's 100 ms period,
# so an S ms stall makes the next event between S - 100 and S ms late. With
# 400 ms that is 300 to 400 ms: at least three whole periods, comfortably
# above the 250 ms and two columns checked.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support

stall_ms=400
processors=$(windows_processor_count)
expect '((processors >= 2))' "Windows reports at least 2 processors ($processors)"

noise_ms=150
min_late=$((stall_ms - 100))
min_columns=$((min_late / 100 - 1))

vantrel_start
vantrel_wait_window 15000 >/dev/null
# Start-up may be late now and then; wait until it has left row 1's 15-event
# label window (1.5 s), so the label read after the stall is the stall's.
row1_label_small() {
    local rows value
    rows=$(vprobe rows)
    value=$(value_of row1_label_value <<<"$rows")
    [[ $value =~ ^-?[0-9]+$ ]] && ((value < 100))
}
expect 'wait_until 30 row1_label_small' "row 1's label is small before the stall"

rows_log=$VANTREL_SCREENSHOT_DIR/measurement-rows.txt
# Emptied here first: the probe's own redirection happens in the background,
# and a log of an earlier run must not answer the wait below.
: >"$rows_log"
vprobe wait-full 1 30000 >"$rows_log" &
probe_pid=$!
e2e_started_pids+=("$probe_pid")
# The probe renders every candidate label first, which takes seconds on a
# busy machine.
wait_until 60 'grep -q "^polling=1" "$rows_log"' || true
# The probe starts watching once row 1's newest columns hold no full-height
# column, so the frame it reports shows this stall and not an earlier one.
expect 'grep -q "^polling=1" "$rows_log"' "the probe watches the screen before the stall"
expect '! grep -q "^found=" "$rows_log"' "no new full-height column in row 1 before the stall"

note "stalling CPU 1 for $stall_ms ms"
stall_cpu 1 "$stall_ms"

wait_for_exit "$probe_pid" 45 || fail "the probe did not end"
rows=$(cat "$rows_log")
grep -v heights <<<"$rows"
screenshot measurement

expect '[[ $(value_of found <<<"$rows") == 1 ]]' "row 1 showed a full-height column after the stall"
row1_full=$(value_of row1_recent_full_columns <<<"$rows")
expect '((row1_full >= min_columns))' "row 1 shows at least $min_columns new full-height columns ($row1_full)"
expect '[[ $(value_of row1_label_matches <<<"$rows") == 1 ]]' "row 1's label reads as one \"+Nms\" text"
row1_label=$(value_of row1_label_value <<<"$rows")
expect '((row1_label >= min_late && row1_label <= stall_ms + noise_ms))' \
    "row 1's label shows the stall: +${row1_label}ms, between +${min_late}ms and +$((stall_ms + noise_ms))ms"

row0_full=$(value_of row0_recent_full_columns <<<"$rows")
expect '((row0_full == 0))' "row 0 shows no new full-height column ($row0_full)"
expect '[[ $(value_of row0_label_matches <<<"$rows") == 1 ]]' "row 0's label reads as one \"+Nms\" text"
row0_label=$(value_of row0_label_value <<<"$rows")
expect '((row0_label < 100))' "row 0's label stays small: +${row0_label}ms"

vantrel_close
expect '((VANTREL_EXIT_CODE == 0))' "exit code 0 after closing"
echo "PASS"
