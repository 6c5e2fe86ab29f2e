#!/usr/bin/env bash
# The comparison's verdicts from the real program, on logs made up here
# (deterministic seeds, the log format the reader accepts): two logs where
# core 1 stalls ten times as often in the first say "better" for core 1 of
# the second and "no difference" for core 0; two logs of one distribution
# say "no difference" on every core. The page marks only the better run,
# --report writes the verdicts as JSON, and the console tells the verdict
# lines and why the comparison ends 3 with --fail-above.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
work=$VANTREL_SCREENSHOT_DIR/compare-verdict
rm -rf "$work" && mkdir -p "$work"
w() { winepath -w "$work/$1"; }

# make_log FILE SEED START_MINUTE STALLS_CORE0 STALLS_CORE1: twenty minutes
# of two cores (12,000 timer events each), a stall (6 to 40 ms late) with
# the given chance per event, the rest 0.2 to 1.8 ms late and some early.
make_log() {
    /usr/bin/python3 - "$@" <<'EOF'
import random, sys
path, seed, start_minute, chances = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), [float(c) for c in sys.argv[4:6]]
rng = random.Random(seed)
def utc(ms):
    ms += start_minute * 60000
    h, rest = divmod(ms, 3600000)
    m, rest = divmod(rest, 60000)
    s, milli = divmod(rest, 1000)
    return "2026-12-09T%02d:%02d:%02d.%03dZ" % (10 + h, m, s, milli)
with open(path, "w", newline="\n") as log:
    log.write("utc,core,late_ms,late_us,source\n")
    log.write(utc(0) + ",,,,vantrel=1.8.0\n" + utc(0) + ",,,,machine=LAB-7\n" + utc(0) + ",,,,priority=normal;class=normal\n")
    for k in range(1, 12001):
        for core in (0, 1):
            if rng.random() < chances[core]:
                late = 6000 + int(rng.random() * 34000)
            elif rng.random() < 0.05:
                late = -int(rng.random() * 20000)
            else:
                late = 200 + int(rng.random() * 1600)
            log.write("%s,%d,%d,%d,timer\n" % (utc(100 * k + core), core, int(late / 1000), late))
EOF
}

# verdicts REPORT: "core run verdict" per line, from the JSON.
verdicts() {
    /usr/bin/python3 -c '
import json, sys
for v in json.load(open(sys.argv[1]))["verdicts"]:
    print(v["core"], v["run"], v["verdict"])' "$1"
}

compare() {
    local code=0
    wine "$VANTREL_EXE" "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt" || code=$?
    sed -i 's/\r$//' "$work/out.txt" "$work/err.txt"
    return "$code"
}

note "core 1 stalls ten times as often in A (5 %) as in B (0.5 %); core 0 alike (1 %)"
make_log "$work/a.csv" 3301 0 0.01 0.05
make_log "$work/b.csv" 3302 30 0.01 0.005
code=0
compare --html "$(w ab.html)" --report "$(w ab.json)" --from "$(w a.csv)" --from "$(w b.csv)" || code=$?
expect '((code == 0))' "the comparison ends 0 ($code): $(head -n2 "$work/err.txt")"
verdicts "$work/ab.json" >"$work/ab.txt"
expect 'grep -qx "1 B better" "$work/ab.txt"' "core 1 of B is better than A's: $(tr '\n' ';' <"$work/ab.txt")"
expect 'grep -qx "0 B no difference" "$work/ab.txt"' "core 0 of B is no different from A's"
expect '(($(wc -l <"$work/ab.txt") == 2))' "one verdict per core of the run that is not the baseline"
expect 'grep -q "^core 1: B against A: better beyond noise (stall rate" "$work/out.txt"' \
    "the console says core 1's verdict: $(grep '^core 1' "$work/out.txt")"
expect 'grep -qx "core 0: B against A: no difference beyond noise" "$work/out.txt"' "the console says core 0's verdict"
expect 'grep -qx "exit 0: the comparison is complete" "$work/out.txt"' "the console says why it ends 0"
expect 'grep -q "data-verdict=\"better\"><td class=\"text\">★ B</td><td class=\"text judged\">better beyond noise" "$work/ab.html"' \
    "the page marks B on core 1"
expect '(($(grep -o "★ [AB]</td>" "$work/ab.html" | wc -l) == 1))' "the page marks nothing else"

note "two logs of one distribution (1 % stalls on both cores)"
make_log "$work/c.csv" 3303 0 0.01 0.01
make_log "$work/d.csv" 3304 30 0.01 0.01
code=0
compare --report "$(w cd.json)" --from "$(w c.csv)" --from "$(w d.csv)" || code=$?
expect '((code == 0))' "the comparison ends 0 ($code): $(head -n2 "$work/err.txt")"
verdicts "$work/cd.json" >"$work/cd.txt"
expect '[[ $(sort "$work/cd.txt") == $(printf "0 B no difference\n1 B no difference") ]]' \
    "no difference on every core: $(tr '\n' ';' <"$work/cd.txt")"
expect '[[ ! -e $work/cd.html ]]' "--report alone writes no page"

note "the limit: a stall of up to 40 ms crosses 30 ms in both"
code=0
compare --report "$(w limit.json)" --from "$(w c.csv)" --from "$(w d.csv)" --fail-above 30 || code=$?
expect '((code == 3))' "the comparison ends 3 ($code)"
expect 'grep -qx "exit 3: later than the limit of 30 ms in A, B (the first period after a priority change is not judged)" "$work/out.txt"' \
    "the console says why it ends 3: $(tail -n1 "$work/out.txt")"
echo "PASS"
