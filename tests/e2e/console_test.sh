#!/usr/bin/env bash
# The console of a recorded run: inside a pseudo-terminal of 40, 60, 80 and
# 120 columns the live block is drawn once a second and taken away at the
# end, where the summary and the verdict come; no line reaches the width in
# Wine's console, which counts the bytes of sequences as columns, so none
# wraps or splits a sequence, the lines before the run stay and the block
# leaves no copy of itself. At 60 columns a --fine run over --fail-above;
# at 80 a sweep with stalls and no log, which ends complete with its levels'
# lines; at 120 a run over --fail-above, with a stall of CPU 1. Redirected
# to a file, the summary only, without carriage returns or sequences;
# --quiet writes nothing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support
command -v script >/dev/null || fail "script (util-linux, Debian's bsdutils) is not installed"

work=$VANTREL_SCREENSHOT_DIR/console
rm -rf "$work"
mkdir -p "$work"
rows=24

# A run in a pseudo-terminal of COLUMNS x 24, as a user's terminal window,
# with five lines printed before it. The terminal's own turning of a line
# feed into a carriage return and a line feed is off (-onlcr), so that the
# raw output is what Wine's console wrote: it ends each line in "\r\n" itself.
pty_start() {
    local name=$1 columns=$2
    shift 2
    script -qec "stty rows $rows cols $columns -onlcr; printf 'before the run %s\\r\\n' 1 2 3 4 5; wine '$VANTREL_EXE' $*" \
        /dev/null </dev/null >"$work/$name.out" 2>&1 &
    pty_pid=$!
    e2e_started_pids+=("$pty_pid")
}

# What the raw output of run NAME shows in a terminal of COLUMNS: its lines
# whole, its head lines in one of their forms, no trace of the block left.
check_console() {
    local name=$1 columns=$2 raw=$work/$1.out figures
    # Per line of the raw output: Wine's own cursor hiding and showing is no
    # column of it, everything else is one column a character, and a carriage
    # return starts again from the first column.
    figures=$(perl -CSD -0777 -ne '
        my $rr = () = /\r\r\n/g;
        my $split = () = /\e\[[0-9;?]*[\r\n]/g;
        my ($longest, %heads, $bad) = (0, (), 0);
        for my $line (split /\n/) {
            $line =~ s/\e\[\?25[lh]//g;
            for my $part (split /\r/, $line) {
                $longest = length $part if length $part > $longest;
            }
            $line =~ s/.*\r(?=.)//;
            $line =~ s/\r$//;
            (my $text = $line) =~ s/\e\[[0-9;?]*[@-~]//g;
            next unless $text =~ /\d:\d\d:\d\d (of |\(until)/;
            $heads{$text} = 1;
            $bad++ unless $text =~ /^(Vantrel, )?\d+:\d\d:\d\d( of \d+:\d\d:\d\d| \(until closed\))(: (timer events|wake-ups) of \d+ cores?)?(, (ms|\x{b5}s) late)?$/;
        }
        printf "%d %d %d %d %d\n", $rr, $split, $longest, scalar(keys %heads), $bad;' "$raw")
    read -r doubled split longest heads bad <<<"$figures"
    expect '((doubled == 0))' "$name: each line ends in one \\r\\n ($doubled end in \\r\\r\\n)"
    expect '((split == 0))' "$name: no sequence is split by a line end ($split are)"
    expect '((longest < columns))' "$name: no line, its sequences counted, reaches the $columns columns: the longest takes $longest"
    expect '((heads >= 3 && bad == 0))' "$name: the block was redrawn each second ($heads distinct head lines), each head whole ($bad cut)"
    node "$VANTREL_SOURCE_DIR/tests/e2e/terminal_screen.mjs" "$raw" "$columns" "$rows" >"$work/$name.screen"
    note "$name: the terminal at the end:"
    grep -v '^$' "$work/$name.screen" | sed 's/^/   | /'
    expect '! grep -qE "[0-9]:[0-9][0-9]:[0-9][0-9] (of|\(until)|core \(#row\)" "$work/$name.screen"' \
        "$name: the block was rewritten in place and taken away at the end: no copy of it on the screen"
    expect '[[ $(grep -c "^before the run [1-5]$" "$work/$name.screen") == 5 ]]' "$name: the lines above it are still there"
    # The summary with each line broken by the program joined again.
    perl -0777 -pe 's/\n    / /g' "$work/$name.screen" >"$work/$name.summary"
    for core in 0 1; do
        expect 'grep -q "^core $core (#$((core + 1)) in the window): [0-9]* timer events, late min" "$work/$name.summary"' \
            "$name: the summary has core $core's line"
    done
}

# 40 columns: a plain run.
pty_start narrow 40 --no-window --duration 5 --report "'$work/narrow.json'"
wait_for_exit "$pty_pid" 30 || fail "the run at 40 columns did not end"
check_console narrow 40

# 60 columns: wake-ups, over the limit by a stall of CPU 1; the verdict names
# what crossed it as the core's lines above it show, a wake-up as a wake-up.
pty_start fine 60 --no-window --fine --duration 5 --fail-above 50 --report "'$work/fine.json'"
sleep 3
stall_cpu 1 300 >/dev/null
wait_for_exit "$pty_pid" 30 || fail "the --fine run at 60 columns did not end"
fine_code=$WAITED_EXIT_CODE
check_console fine 60
timer_max=$(grep -o "^core 1 (#2 in the window): .* max [0-9]* ms" "$work/fine.summary" | grep -o "[0-9]* ms$" | tr -dc 0-9)
wake_max=$(grep -A1 "^core 1 " "$work/fine.summary" | grep -o "max [0-9]* µs" | tr -dc 0-9)
verdict=$(grep '^exit ' "$work/fine.summary" || true)
if ((wake_max >= timer_max * 1000)); then said="a wake-up of core 1 was"; else said="core 1 was"; fi
expect '((fine_code == 3)) && [[ $verdict == "exit 3: $said "[0-9]*.[0-9]" ms late at "* ]]' \
    "the stalled --fine run ends 3 ($fine_code), its verdict the worse of the timer line's $timer_max ms and the wake-ups' $wake_max µs: $verdict"

# 80 columns: a sweep of two levels with wake-ups and no log, fifteen 30 ms
# stalls of CPU 1 while it measures idle: complete, nothing lost, and the
# summary has each level's line.
pty_start sweep 80 --no-window --sweep 8 --levels idle,normal --fine --report "'$work/sweep.json'"
sleep 2
for ((k = 0; k < 15; k++)); do
    stall_cpu 1 30 >/dev/null
    sleep 0.35
done
wait_for_exit "$pty_pid" 60 || fail "the sweep at 80 columns did not end"
sweep_code=$WAITED_EXIT_CODE
check_console sweep 80
expect '((sweep_code == 0)) && [[ $(jq "[.complete, .log_dropped]" -c "$work/sweep.json") == "[true,0]" ]]' \
    "the sweep without a log ends 0 ($sweep_code), its record complete with no line lost: $(jq -c "[.complete, .log_dropped, .problems]" "$work/sweep.json")"
expect 'grep -aq "0:00:0[0-9] of 0:00:16" "$work/sweep.out" && ! grep -aq "until closed" "$work/sweep.out"' \
    "the sweep's head line counts to the end of both levels, 0:00:16"
for level in idle normal; do
    expect 'grep -qE "^$level( \(class [^)]*\))?(, the baseline)?: core 0 .*; core 1 [a-z]" "$work/sweep.summary"' "the summary has the sweep's line of $level"
done

# 120 columns: over --fail-above by a stall of CPU 1.
pty_start wide 120 --no-window --duration 6 --fail-above 50 --report "'$work/wide.json'"
sleep 3.5
stall_cpu 1 300 >/dev/null
wait_for_exit "$pty_pid" 30 || fail "the run at 120 columns did not end"
pty_code=$WAITED_EXIT_CODE
check_console wide 120
verdict=$(grep '^exit ' "$work/wide.summary" || true)
expect '((pty_code == 3)) && [[ $verdict =~ ^exit\ 3:\ core\ 1\ was\ [0-9]+\.[0-9]\ ms\ late\ at\ [0-9:.]+\ UTC\ \(limit\ 50\ ms\)$ ]]' \
    "the stalled run ends 3 ($pty_code) and its verdict names the core, the lateness and the limit: $verdict"
# The report's worst: its core, its time of day, its precise lateness to a tenth of a ms.
late=$(jq -r '.cores[.worst.core].max_us | (. + 50) / 100 | floor | "\(. / 10 | floor).\(. % 10)"' "$work/wide.json")
at=$(jq -r '.worst.at_utc[11:23]' "$work/wide.json")
expect '[[ $verdict == "exit 3: core $(jq .worst.core "$work/wide.json") was $late ms late at $at UTC"* ]]' \
    "the verdict is the report's worst: $late ms at $at"

# A file: the summary only, as lines of text.
wine "$VANTREL_EXE" --no-window --duration 6 --report "$work/file.json" </dev/null >"$work/file.out" 2>"$work/file.err" ||
    fail "the run redirected to a file failed: $(cat "$work/file.err")"
# A stall of the loaded machine may add the line of its first suspect.
expect '[[ $(grep -cv "^suspect: " "$work/file.out") == 3 ]]' \
    "redirected to a file: two core lines and the verdict ($(wc -l <"$work/file.out") lines)"
expect '[[ $(tr -cd "\r\033" <"$work/file.out" | wc -c) == 0 ]]' "no carriage return and no sequence in it"
expect '[[ $(tail -n1 "$work/file.out") == "exit 0: the record is complete" ]]' "its verdict: $(tail -n1 "$work/file.out")"

# --quiet: nothing on standard output.
wine "$VANTREL_EXE" --no-window --duration 2 --report "$work/quiet.json" -q </dev/null >"$work/quiet.out" 2>"$work/quiet.err" ||
    fail "the quiet run failed: $(cat "$work/quiet.err")"
expect '[[ ! -s $work/quiet.out && -s $work/quiet.json ]]' "--quiet writes nothing, the report all the same"
echo "PASS"
