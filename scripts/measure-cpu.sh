#!/usr/bin/env bash
# Measures the CPU time that vantrel.exe costs under Wine, next to a program
# that only runs an idle message loop (tests/tools/idle_loop.cpp). Not part
# of the tests: it takes a few minutes and prints figures.
#
#   bash scripts/measure-cpu.sh [SECONDS]      (default 60)
#   bash scripts/measure-cpu.sh --snapshots ROUNDS [SECONDS]
#
# --snapshots measures only what the snapshots of the processes' CPU times
# cost: in each round the program and the same program built without them
# run side by side (`--no-window --report`) over the same SECONDS, so that
# the machine's load weighs on both alike; it prints each round and the
# median of the differences. A difference of one run against another taken
# minutes later is lost in the noise of the shared machine.
#
# For each program: start it on a virtual display, let it settle for 3 s,
# then read utime + stime from /proc of the program's own process and of the
# prefix's wineserver before and after SECONDS seconds. The program's own
# figure is exact; the wineserver serves every Wine process of the prefix
# (the program, and Wine's explorer.exe that hosts the tray icon), so its
# share is what the whole prefix caused during the run. Both are given as a
# percentage of one core. VANTREL_BUILD_DIR picks the build (default
# build/windows, configured and built here).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
rounds=0
if [[ ${1:-} == --snapshots ]]; then
    rounds=${2:?--snapshots needs a number of rounds}
    shift 2
fi
seconds=${1:-60}
build=${VANTREL_BUILD_DIR:-$root/build/windows}

bash scripts/deps.sh run
if [[ $build == "$root/build/windows" ]]; then
    cmake --preset windows >/dev/null
fi
cmake --build "$build" -j2 --target vantrel vprobe idle_loop >/dev/null
# The same program without the snapshots of the processes' CPU times (the
# suspects of stalls), to measure what they add beside it.
without_snapshots=$build-no-snapshots
cmake -S "$root" -B "$without_snapshots" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVANTREL_STRICT=ON -DBUILD_TESTING=OFF -DVANTREL_PROCESS_SNAPSHOTS=OFF >/dev/null
cmake --build "$without_snapshots" -j2 --target vantrel >/dev/null

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap wine_session_stop EXIT INT TERM
wine_session_start "$build/wineprefix-measure"

ticks_per_second=$(getconf CLK_TCK)

# utime + stime of all threads of a process, in clock ticks.
cpu_ticks() {
    local fields
    read -r -a fields <<<"$(sed 's/^.*) //' "/proc/$1/stat")"
    # After the command name: field 3 is the state, utime and stime are
    # fields 14 and 15 of the whole line, i.e. 11 and 12 here (0-based).
    echo $((fields[11] + fields[12]))
}

wineserver_pid() {
    local pid
    for pid in $(wine_session_prefix_pids); do
        if [[ $(cat "/proc/$pid/comm" 2>/dev/null) == wineserver* ]]; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}

# Percentage of one core, two decimals, from a tick count over $seconds.
share() {
    awk -v t="$1" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
}

measure() {
    local name=$1 exe=$2 pid server before_self before_server after_self after_server
    shift 2
    wine "$exe" "$@" </dev/null >/dev/null 2>&1 &
    pid=$!
    sleep 3
    kill -0 "$pid" 2>/dev/null || { echo "$name ended early" >&2; return 1; }
    server=$(wineserver_pid) || { echo "no wineserver found" >&2; return 1; }
    before_self=$(cpu_ticks "$pid")
    before_server=$(cpu_ticks "$server")
    sleep "$seconds"
    after_self=$(cpu_ticks "$pid")
    after_server=$(cpu_ticks "$server")
    if [[ $name == vantrel* ]]; then
        wine "$build/tests/vprobe.exe" close 5000 </dev/null >/dev/null 2>&1 || true
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    printf '%-31s process %6s %% of a core (%d ticks)   wineserver %6s %% (%d ticks)\n' "$name" \
        "$(share $((after_self - before_self)))" $((after_self - before_self)) \
        "$(share $((after_server - before_server)))" $((after_server - before_server))
}

# cyclictest with one 1 ms thread per CPU, for comparison with --fine: its
# own CPU time over the same span (no wineserver involved).
measure_cyclictest() {
    local pid before after
    cyclictest -m -q -i 1000 -S -p 40 >/dev/null 2>&1 &
    pid=$!
    sleep 3
    before=$(cpu_ticks "$pid")
    sleep "$seconds"
    after=$(cpu_ticks "$pid")
    kill -INT "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    printf '%-31s process %6s %% of a core (%d ticks)\n' cyclictest "$(share $((after - before)))" $((after - before))
}

# Both programs at once, each with a report of its own; prints the ticks of
# the one with snapshots and of the one without, over the same span.
measure_side_by_side() {
    local dir=$1 first=$2 with without with_before without_before
    local -A exe=([with]="$build/vantrel.exe" [without]="$without_snapshots/vantrel.exe") pids=()
    for name in "$first" $([[ $first == with ]] && echo without || echo with); do
        wine "${exe[$name]}" --no-window --report "$(winepath -w "$dir/$name.json" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
        pids[$name]=$!
    done
    sleep 3
    for name in with without; do
        kill -0 "${pids[$name]}" 2>/dev/null || { echo "the program $name snapshots ended early" >&2; return 1; }
    done
    with_before=$(cpu_ticks "${pids[with]}")
    without_before=$(cpu_ticks "${pids[without]}")
    sleep "$seconds"
    with=$(($(cpu_ticks "${pids[with]}") - with_before))
    without=$(($(cpu_ticks "${pids[without]}") - without_before))
    for name in with without; do
        kill "${pids[$name]}" 2>/dev/null || true
        wait "${pids[$name]}" 2>/dev/null || true
    done
    echo "$with $without"
}

if ((rounds > 0)); then
    echo "The snapshots' cost: the program with and without them side by side, $rounds rounds of $seconds s,"
    echo "as a share of one core (ticks of 1/$ticks_per_second s):"
    report_dir=$(mktemp -d)
    differences=()
    for ((round = 1; round <= rounds; round++)); do
        # Each round starts the other one first.
        read -r with without <<<"$(measure_side_by_side "$report_dir" "$( ((round % 2)) && echo with || echo without)")"
        differences+=($((with - without)))
        printf 'round %2d: with %6s %% (%d ticks), without %6s %% (%d ticks), difference %6s %%\n' "$round" \
            "$(share "$with")" "$with" "$(share "$without")" "$without" "$(share $((with - without)))"
    done
    rm -rf "$report_dir"
    median=$(printf '%s\n' "${differences[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
    echo "median difference: $(share "$median") % of a core"
    exit 0
fi

echo "CPU time over $seconds s at $ticks_per_second ticks/s, as a share of one core:"
measure idle_loop.exe "$build/tests/idle_loop.exe"
measure vantrel.exe "$build/vantrel.exe"
if wine "$build/vantrel.exe" --help </dev/null 2>&1 | grep -q -- '--fine'; then
    measure "vantrel --fine" "$build/vantrel.exe" --fine
else
    echo "vantrel --fine: this build has no --fine option yet" >&2
fi
# Recording (a report rewritten every second, and the time accounting read
# on core 0's every event for the stalls' causes): compare this line between
# two builds to see what a part of the record costs.
report_dir=$(mktemp -d)
measure "vantrel --report" "$build/vantrel.exe" --report "$(winepath -w "$report_dir/report.json" 2>/dev/null)"
# The snapshots of the processes' CPU times (one a second) are the difference
# to the same run of the program built without them, measured before and after.
measure "vantrel --report, no snapshots" "$without_snapshots/vantrel.exe" --report "$(winepath -w "$report_dir/report.json" 2>/dev/null)"
measure "vantrel --report" "$build/vantrel.exe" --report "$(winepath -w "$report_dir/report.json" 2>/dev/null)"
rm -rf "$report_dir"
measure_cyclictest
