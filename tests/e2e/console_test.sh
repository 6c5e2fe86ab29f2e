#!/usr/bin/env bash
# The console of a recorded run: inside a pseudo-terminal the live block is
# drawn once a second and taken away at the end, where the summary and the
# verdict come (here of a run over --fail-above, with a stall of CPU 1);
# redirected to a file, the summary only, without carriage returns or
# sequences; --quiet writes nothing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
require_stall_support
command -v script >/dev/null || fail "script (util-linux, Debian's bsdutils) is not installed"

work=$VANTREL_SCREENSHOT_DIR/console
rm -rf "$work"
mkdir -p "$work"
columns=100
rows=30

# A console: a pseudo-terminal of 100 x 30, as a user's terminal window.
script -qec "stty rows $rows cols $columns; printf 'before the run %s\\n' 1 2 3 4 5; wine '$VANTREL_EXE' --no-window --duration 6 --fail-above 50 --report '$work/pty.json'" \
    /dev/null </dev/null >"$work/pty.out" 2>&1 &
script_pid=$!
e2e_started_pids+=("$script_pid")
sleep 3.5
stall_cpu 1 300 >/dev/null
wait_for_exit "$script_pid" 30 || fail "the run in the pseudo-terminal did not end"
pty_code=$WAITED_EXIT_CODE
tr -d '\r' <"$work/pty.out" >"$work/pty.txt"
heads=$(grep -ao 'Vantrel, 0:00:0[0-9] of 0:00:06' "$work/pty.txt" | sort -u | wc -l)
expect '((heads >= 3))' "the live block was drawn while the run went on, refreshed: $heads distinct head lines"
expect 'grep -aq "core (#row)  events" "$work/pty.txt"' "it has its columns"
node "$VANTREL_SOURCE_DIR/tests/e2e/terminal_screen.mjs" "$work/pty.out" "$columns" "$rows" >"$work/screen.txt"
note "the terminal at the end:"
grep -v '^$' "$work/screen.txt" | sed 's/^/   | /'
expect '! grep -q "Vantrel, 0:00" "$work/screen.txt" && ! grep -q "core (#row)" "$work/screen.txt"' \
    "the block was rewritten in place and taken away at the end: no trace of it on the screen"
expect '[[ $(grep -c "^before the run [1-5]$" "$work/screen.txt") == 5 ]]' "and the lines above it are still there"
expect '(($(awk "{ print length }" "$work/screen.txt" | sort -n | tail -n1) < columns))' \
    "no line of the summary was wrapped by the console: each is shorter than the terminal"
for core in 0 1; do
    expect 'grep -q "^core $core (#$((core + 1)) in the window): [0-9]* timer events, late min" "$work/screen.txt"' \
        "the summary has core $core's line"
done
verdict=$(grep '^exit ' "$work/screen.txt" || true)
expect '((pty_code == 3)) && [[ $verdict =~ ^exit\ 3:\ core\ 1\ was\ [0-9]+\.[0-9]\ ms\ late\ at\ [0-9:.]+\ UTC\ \(limit\ 50\ ms\)$ ]]' \
    "the stalled run ends 3 ($pty_code) and its verdict names the core, the lateness and the limit: $verdict"
# The report's worst: its core, its time of day, its precise lateness to a tenth of a ms.
late=$(jq -r '.cores[.worst.core].max_us | (. + 50) / 100 | floor | "\(. / 10 | floor).\(. % 10)"' "$work/pty.json")
at=$(jq -r '.worst.at_utc[11:23]' "$work/pty.json")
expect '[[ $verdict == "exit 3: core $(jq .worst.core "$work/pty.json") was $late ms late at $at UTC"* ]]' \
    "the verdict is the report's worst: $late ms at $at"

# A file: the summary only, as lines of text.
wine "$VANTREL_EXE" --no-window --duration 6 --report "$work/file.json" </dev/null >"$work/file.out" 2>"$work/file.err" ||
    fail "the run redirected to a file failed: $(cat "$work/file.err")"
expect '[[ $(wc -l <"$work/file.out") == 3 ]]' "redirected to a file: two core lines and the verdict ($(wc -l <"$work/file.out") lines)"
expect '[[ $(tr -cd "\r\033" <"$work/file.out" | wc -c) == 0 ]]' "no carriage return and no sequence in it"
expect '[[ $(tail -n1 "$work/file.out") == "exit 0: the record is complete" ]]' "its verdict: $(tail -n1 "$work/file.out")"

# --quiet: nothing on standard output.
wine "$VANTREL_EXE" --no-window --duration 2 --report "$work/quiet.json" -q </dev/null >"$work/quiet.out" 2>"$work/quiet.err" ||
    fail "the quiet run failed: $(cat "$work/quiet.err")"
expect '[[ ! -s $work/quiet.out && -s $work/quiet.json ]]' "--quiet writes nothing, the report all the same"
echo "PASS"
