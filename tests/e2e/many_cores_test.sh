#!/usr/bin/env bash
# Many cores, as the real program meets them: Windows made to report 26, 32
# and 64 processors (Wine on this 2-CPU machine, through a preloaded library).
# The window must lie inside the 1280 x 1024 screen, in as many columns as it
# takes, with a hidden sampler window for every further core and every row's
# caption, graph line, label and separator where its column and slot put it,
# as the screen shows them. Cores beyond the machine's processors cannot be
# pinned: the run says so and ends with 4.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init

# cores columns rows-per-column client-width client-height left top, worked
# out by hand for Wine's frame of 6 x 22 pixels: 26 rows in one column are
# 986 pixels high with the frame, moved up to 1024 - 986; 32 need two
# columns of 16; 64 three of 22 (842 high, moved up to 182).
layouts=(
    "26 1 26 136 964 160 38"
    "32 2 16 272 604 160 200"
    "64 3 22 408 820 160 182"
)

for layout in "${layouts[@]}"; do
    read -r cores columns rows width height left top <<<"$layout"
    note "$cores processors"
    report=$VANTREL_SCREENSHOT_DIR/many-cores-$cores.json && rm -f "$report"
    vantrel_start_with_cpus --until-ready "$cores" --report "$report"
    window=$(vantrel_wait_window 15000)

    IFS=, read -r outer_left outer_top outer_right outer_bottom <<<"$(value_of outer <<<"$window")"
    expect '((outer_left == left && outer_top == top))' \
        "the window's top left is ($left, $top), got ($outer_left, $outer_top)"
    expect '((outer_left >= 0 && outer_top >= 0 && outer_right <= 1280 && outer_bottom <= 1024))' \
        "the window lies inside the screen ($outer_left, $outer_top, $outer_right, $outer_bottom)"
    expect '[[ $(value_of client_size <<<"$window") == "$width,$height" ]]' \
        "the client area is $width x $height: $columns column(s) of $rows rows"

    # The start above waited for them; they must stay, one per further core.
    samplers=$(vprobe samplers | value_of samplers)
    expect '((samplers == cores - 1))' \
        "$((cores - 1)) hidden sampler windows, one per further core (vantrel.exe $(kill -0 "$VANTREL_PID" 2>/dev/null && echo runs || echo ended), $samplers seen)"

    # Every row shows its caption, graph line and label, and the separator
    # under it lies in its column and slot.
    rows_shown() {
        shown=$(vprobe rows)
        [[ $(value_of rows <<<"$shown") == "$cores" ]] || return 1
        local row
        for ((row = 0; row < cores; row++)); do
            (($(value_of "row${row}_lit_columns" <<<"$shown") >= 127)) || return 1
            [[ $(value_of "row${row}_label_matches" <<<"$shown") == 1 ]] || return 1
        done
    }
    expect 'wait_until 30 rows_shown' "all $cores captions, every row's graph line and a \"+Nms\" label"
    expect '[[ $(value_of rows_per_column <<<"$shown") == "$rows" ]]' "$rows rows per column on the screen"
    for ((row = 0; row < cores; row++)); do
        want="$((136 * (row / rows))),$((36 * (row % rows)))"
        [[ $(value_of "row${row}_origin" <<<"$shown") == "$want" ]] || fail "row $row is not at $want"
        [[ $(value_of "row${row}_separator" <<<"$shown") == 1 ]] || fail "row $row has no separator under it"
    done
    echo "ok: every row and its separator at its column and slot"
    screenshot "many-cores-$cores"

    vantrel_close
    real=$(nproc)
    # What Windows saw: with dozens of threads, Wine's own teardown may then
    # die on its corrupted heap (139 to Linux), after the program ended.
    expect '(($(value_of exit_code <<<"$CLOSE_OUTPUT") == 4))' \
        "exit code 4 after closing (Linux status $VANTREL_EXIT_CODE): $(head -c 300 "$VANTREL_STDERR")"
    expect '[[ $(jq -c "[.cores[] | select(.sampled | not) | .core] | length" "$report") == $((cores - real)) ]]' \
        "the $((cores - real)) cores beyond the $real real processors are not sampled"
    expect '[[ $(jq -r ".problems[0].message" "$report") == "the sampler of core $real could not be pinned to its core" ]]' \
        "the first problem names the first unpinned core: $(jq -c ".problems[0]" "$report")"
done
echo "PASS"
