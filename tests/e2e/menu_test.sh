#!/usr/bin/env bash
# The priority menu as a user meets it, with real mouse and keyboard input:
# a right-button release in the window opens the menu 16 px right of and
# below the cursor; while it is open the window leaves the topmost band and
# the rows keep repainting; choosing "high" from the keyboard sets the
# process to HIGH_PRIORITY_CLASS and every one of its threads to
# THREAD_PRIORITY_HIGHEST; Escape closes it with nothing changed; a right
# button held down opens nothing until it is released; the Apps key opens it
# beside the cursor too.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support

MENUPROBE_EXE=$VANTREL_BUILD_DIR/tests/menuprobe.exe
[[ -f $MENUPROBE_EXE ]] || fail "not built: $MENUPROBE_EXE"
menuprobe() {
    { wine "$MENUPROBE_EXE" "$@" </dev/null 2>/dev/null || true; } | tr -d '\r'
}

stall_ms=400
high_class=128   # HIGH_PRIORITY_CLASS
normal_class=32  # NORMAL_PRIORITY_CLASS
highest=2        # THREAD_PRIORITY_HIGHEST

# priorities_are CLASS THREAD_PRIORITY: every thread of the program at the one
# priority, and the process in the class.
priorities_are() {
    local wanted_class=$1 wanted_thread=$2 report list p
    report=$(menuprobe priorities "$monitor_pid")
    echo "$report" | sed 's/^/   /'
    [[ $(value_of opened <<<"$report") == 1 ]] || return 1
    [[ $(value_of class <<<"$report") == "$wanted_class" ]] || return 1
    (($(value_of threads <<<"$report") >= processors)) || return 1
    [[ $(value_of unreadable <<<"$report") == 0 ]] || return 1
    list=$(value_of thread_priorities <<<"$report")
    for p in ${list//,/ }; do
        [[ $p == "$wanted_thread" ]] || return 1
    done
}

# The probe's whole answer first, then the key in it.
probe_value() {
    local key=$1 output
    shift
    output=$("$@")
    value_of "$key" <<<"$output"
}

topmost_now() {
    probe_value topmost vprobe window 0
}

# The window goes back to the topmost band once the level is applied.
wait_topmost() {
    wait_until 10 '[[ $(topmost_now) == 1 ]]'
}

cursor_is() {
    [[ $(probe_value cursor menuprobe cursor) == "$1,$2" ]]
}

menu_corner() {
    local report
    report=$(menuprobe menu "$1")
    [[ $(value_of found <<<"$report") == 1 ]] || return 0
    IFS=, read -r menu_left menu_top _ _ <<<"$(value_of rect <<<"$report")"
    echo "$menu_left,$menu_top,$(value_of pid <<<"$report")"
}

processors=$(windows_processor_count)
vantrel_start
window=$(vantrel_wait_window 15000)
monitor_pid=$(value_of pid <<<"$window")
expect '[[ $monitor_pid =~ ^[0-9]+$ ]]' "the monitor window's process id is known ($monitor_pid)"
expect 'wait_topmost' "the window is topmost before the menu"
expect 'priorities_are $normal_class 0' "vantrel.exe starts in NORMAL_PRIORITY_CLASS with every thread at 0"

# Click near the bottom-right corner of the client area: the menu then opens
# below and right of the window and hides none of the rows.
IFS=, read -r client_x client_y <<<"$(value_of client_origin <<<"$window")"
IFS=, read -r client_width client_height <<<"$(value_of client_size <<<"$window")"
click_x=$((client_x + client_width - 6))
click_y=$((client_y + client_height - 5))
xdotool mousemove "$click_x" "$click_y"
expect 'wait_until 10 "cursor_is $click_x $click_y"' "Windows sees the cursor at ($click_x, $click_y)"

# 1. Right click: the menu opens beside the cursor; choose "high".
expect '[[ $(menu_corner 0) == "" ]]' "no menu is open before the click"
xdotool click 3
corner=$(menu_corner 3000)
expect '[[ -n $corner ]]' "a right click in the window opens a \"#32768\" menu window"
expect '[[ $corner == "$((click_x + 16)),$((click_y + 16)),$monitor_pid" ]]' \
    "vantrel.exe's menu has its top left 16 px right of and below the cursor, at ($((click_x + 16)), $((click_y + 16))) (got $corner)"
expect '[[ $(topmost_now) == 0 ]]' "while the menu is open the window is not topmost"

# Every row is drawn by the main thread, the one that runs the menu's modal
# loop: a late event of core 1 shows on screen only if that loop goes on
# dispatching the window's timer messages. Start-up may already have left
# full-height columns, so count them before the stall and look for one more.
screenshot menu-open
full_before=$(probe_value row1_full_columns vprobe rows)
expect '[[ $full_before =~ ^[0-9]+$ ]]' "row 1's graph can be read from the screen ($full_before full-height columns)"
note "stalling CPU 1 for $stall_ms ms while the menu is open"
stall_cpu 1 "$stall_ms"
row1_grew() {
    full_after=$(probe_value row1_full_columns vprobe rows)
    [[ $full_after =~ ^[0-9]+$ ]] && ((full_after > full_before))
}
full_after=$full_before
expect 'wait_until 10 row1_grew' \
    "row 1 was repainted with the stall's full-height column while the menu was open ($full_before, then $full_after)"
# The rows' part of the client area, in a later screenshot: its pixels change
# as the graphs scroll, the menu still open.
rows_crop=${client_width}x$((36 * processors))+$client_x+$client_y
crop_rows() {
    convert "$VANTREL_SCREENSHOT_DIR/$1.png" -crop "$rows_crop" +repage "$VANTREL_SCREENSHOT_DIR/$1-rows.png"
}
rows_changed_since_open() {
    sleep 0.5
    screenshot menu-open-later >/dev/null
    crop_rows menu-open-later
    rows_changed=$(compare -metric AE "$VANTREL_SCREENSHOT_DIR/menu-open-rows.png" \
        "$VANTREL_SCREENSHOT_DIR/menu-open-later-rows.png" null: 2>&1 || true)
    [[ $rows_changed =~ ^[0-9]+$ ]] && ((rows_changed > 0))
}
crop_rows menu-open
rows_changed=0
expect 'wait_until 10 rows_changed_since_open' \
    "the rows' pixels changed in a later screenshot, menu open ($rows_changed pixels)"
expect '[[ -n $(menu_corner 0) ]]' "the menu is still open after the repaints"

# From nothing selected, six steps down is "high".
xdotool key Down Down Down Down Down Down Return
expect '[[ $(probe_value closed menuprobe closed 3000) == 1 ]]' "Return on \"high\" closes the menu"
expect 'priorities_are $high_class $highest' \
    "\"high\" sets HIGH_PRIORITY_CLASS and THREAD_PRIORITY_HIGHEST on every thread"
expect 'wait_topmost' "the window is topmost again after the choice"

# 2. Escape closes the menu and changes nothing.
xdotool click 3
expect '[[ -n $(menu_corner 3000) ]]' "a second right click opens the menu again"
expect '[[ $(topmost_now) == 0 ]]' "the window left the topmost band again"
xdotool key Escape
expect '[[ $(probe_value closed menuprobe closed 3000) == 1 ]]' "Escape closes the menu"
expect 'priorities_are $high_class $highest' "after Escape the priorities are unchanged"
expect 'wait_topmost' "the window is topmost again after Escape"

# 3. The menu opens on the release of the button, not on its press.
xdotool mousedown 3
expect '[[ $(menu_corner 1000) == "" ]]' "pressing the right button alone opens no menu"
expect '[[ $(topmost_now) == 1 ]]' "the window stays topmost while the button is held"
xdotool mouseup 3
corner=$(menu_corner 3000)
expect '[[ $corner == "$((click_x + 16)),$((click_y + 16)),$monitor_pid" ]]' \
    "releasing it opens the menu at the same place ($corner)"
xdotool key Escape
expect '[[ $(probe_value closed menuprobe closed 3000) == 1 ]]' "Escape closes it"

# 4. The Apps key opens the menu beside the mouse cursor, wherever it is.
apps_x=$((click_x + 40))
apps_y=$((click_y + 30))
xdotool mousemove "$apps_x" "$apps_y"
expect 'wait_until 10 "cursor_is $apps_x $apps_y"' "Windows sees the cursor at ($apps_x, $apps_y)"
xdotool key Menu
corner=$(menu_corner 3000)
expect '[[ $corner == "$((apps_x + 16)),$((apps_y + 16)),$monitor_pid" ]]' \
    "the Apps key opens the menu beside the cursor at ($((apps_x + 16)), $((apps_y + 16))) (got $corner)"
xdotool key Escape
expect '[[ $(probe_value closed menuprobe closed 3000) == 1 ]]' "Escape closes it"
expect 'priorities_are $high_class $highest' "nothing changed the priorities since \"high\""
expect 'wait_topmost' "the window is topmost at the end"

vantrel_close
expect '[[ $VANTREL_EXIT_CODE == 0 ]]' "vantrel.exe ends with exit code 0 after WM_CLOSE ($VANTREL_EXIT_CODE)"
expect '[[ -z $(prefix_processes vantrel.exe) ]]' "no vantrel.exe is left running"
