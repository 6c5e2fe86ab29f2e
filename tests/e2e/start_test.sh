#!/usr/bin/env bash
# Start-up as a user sees it: one monitor window titled "Vantrel" at (160, 200)
# with a client area of 136 x (36 n + 28) for n processors, a small tool
# window without sizing or minimise boxes that becomes topmost, and one hidden
# sampler window per core from 1 on, all in the one process.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init

processors=$(windows_processor_count)
expect '[[ $processors =~ ^[0-9]+$ ]] && ((processors >= 1))' "Windows reports a processor count ($processors)"

vantrel_start
window=$(vantrel_wait_window 15000)
echo "$window"

expect '[[ $(value_of count <<<"$window") == 1 ]]' "exactly one \"VantrelWindow\" window"
expect '[[ $(value_of title <<<"$window") == Vantrel ]]' "the window is titled \"Vantrel\""
expect '[[ $(value_of visible <<<"$window") == 1 ]]' "the window is visible"

IFS=, read -r left top right bottom <<<"$(value_of outer <<<"$window")"
expect '((left == 160 && top == 200))' "the outer window's top left is (160, 200), got ($left, $top)"
IFS=, read -r client_width client_height <<<"$(value_of client_size <<<"$window")"
expected_height=$((36 * processors + 28))
expect '((client_width == 136 && client_height == expected_height))' \
    "the client area is 136 x $expected_height for $processors processors, got $client_width x $client_height"
IFS=, read -r client_x client_y <<<"$(value_of client_origin <<<"$window")"
expect '((client_x > left && client_y > top && right - left > client_width && bottom - top > client_height))' \
    "a frame and caption surround the client area (client at $client_x,$client_y)"

style=$(value_of style <<<"$window")
exstyle=$(value_of exstyle <<<"$window")
# WS_CAPTION | WS_SYSMENU | WS_VISIBLE, no WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX.
expect '(((style & 0x10C80000) == 0x10C80000))' "style has caption, window menu and visible ($style)"
expect '(((style & 0x00070000) == 0))' "no sizing border, minimise or maximise box ($style)"
expect '(((exstyle & 0x80) != 0))' "extended style has WS_EX_TOOLWINDOW ($exstyle)"
monitor_pid=$(value_of pid <<<"$window")

# The first repaint, 100 ms after start, puts the window in the topmost band.
expect 'wait_until 15 "[[ \$(vprobe window 0 | value_of topmost) == 1 ]]"' "the window becomes topmost (WS_EX_TOPMOST)"

# The samplers make their windows on their own threads: give them time.
wanted=$((processors - 1))
samplers_made() {
    samplers=$(vprobe samplers)
    (($(value_of samplers <<<"$samplers") >= wanted))
}
wait_until 15 samplers_made || true
echo "$samplers"
expect '[[ $(value_of samplers <<<"$samplers") == "$wanted" ]]' "$wanted hidden \"VantrelThreadWindow\" windows"
for ((core = 1; core < processors; core++)); do
    expect 'grep -q "=x:$((core * 160)) y:200 w:160 h:200 visible:0 " <<<"$samplers"' \
        "core $core's sampler window is hidden at ($((core * 160)), 200), 160 x 200"
    mask=$(printf '0x%x' $((1 << core)))
    expect 'grep -q "=x:$((core * 160)) .* affinity:$mask$" <<<"$samplers"' "core $core's sampler runs on core $core only ($mask)"
done
# Pinned before core 0's timer starts, so by the first repaint.
main_affinity=$(vprobe window 0 | value_of thread_affinity)
expect '[[ $main_affinity == 0x1 ]]' "the main thread, core 0's sampler, runs on core 0 only ($main_affinity)"
expect '! grep "^sampler[0-9]" <<<"$samplers" | grep -vq "pid:$monitor_pid "' \
    "every sampler window belongs to the monitor's process ($monitor_pid)"

screenshot start

vantrel_close
expect '((VANTREL_EXIT_CODE == 0))' "exit code 0 after closing"
echo "PASS"
