#!/usr/bin/env bash
# Closing: WM_CLOSE to the monitor window ends the process with exit code 0
# at once (a few ms; 3 s allowed for a busy machine), takes the tray icon away and leaves no process behind.
# Then 20 starts and closes in a row, closing at different moments (before
# the first timer event, while rows are repainted, around the tray update):
# every run must end by itself with exit code 0. A crash would end with an
# exception code instead (the test prefix has no crash dialog), a hang
# would not end.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init

vantrel_start
vantrel_wait_window 15000 >/dev/null
tray_visible_is() {
    [[ $(vprobe tray | value_of tray_visible) == "$1" ]]
}
expect 'wait_until 20 "tray_visible_is 1"' "the tray icon window is shown before closing"

vantrel_close 5000
echo "$CLOSE_OUTPUT"
expect '[[ $(value_of ended <<<"$CLOSE_OUTPUT") == 1 ]]' "the process ended after WM_CLOSE"
close_ms=$(value_of close_ms <<<"$CLOSE_OUTPUT")
expect '((close_ms <= 3000))' "it ended within 3 s ($close_ms ms)"
expect '[[ $(value_of exit_code <<<"$CLOSE_OUTPUT") == 0 ]]' "Windows sees exit code 0"
expect '((VANTREL_EXIT_CODE == 0))' "the Linux process ended with status 0"

expect 'wait_until 10 "tray_visible_is 0"' "the tray icon window is gone"
expect '[[ $(vprobe window 0 | value_of found) == 0 ]]' "no monitor window is left"
expect '[[ $(vprobe samplers | value_of samplers) == 0 ]]' "no sampler window is left"
expect '[[ -z $(prefix_processes vantrel.exe) ]]' "no vantrel.exe process is left"
screenshot close

runs=20
for ((run = 1; run <= runs; run++)); do
    vantrel_start
    vantrel_wait_window 15000 >/dev/null
    # 0 to 3.8 s: before the first repaint, during repaints, and on both
    # sides of the first tray update at 3.2 s.
    delay_ms=$(((run * 197) % 3800))
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    vantrel_close 5000
    ended=$(value_of ended <<<"$CLOSE_OUTPUT")
    code=$(value_of exit_code <<<"$CLOSE_OUTPUT")
    echo "run $run: closed after $delay_ms ms, ended=$ended in $(value_of close_ms <<<"$CLOSE_OUTPUT") ms, exit code $code / $VANTREL_EXIT_CODE"
    [[ $ended == 1 ]] || fail "run $run did not end within 5 s of WM_CLOSE"
    [[ $code == 0 && $VANTREL_EXIT_CODE == 0 ]] || fail "run $run ended with exit code $code / $VANTREL_EXIT_CODE"
done
echo "ok: $runs starts and closes, each ended by itself with exit code 0"
expect '[[ -z $(prefix_processes vantrel.exe) ]]' "no vantrel.exe process is left"
echo "PASS"
