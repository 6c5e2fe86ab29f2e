#!/usr/bin/env bash
# What cause the stalls get, under Wine on a virtual display, with --fine:
#   threads: busy loops of 20, 50 and 100 ms on CPU 1 at real-time priority
#            (tests/e2e/stall.c), STALLS of each (default 20);
#   idle:    the whole vantrel.exe process stopped (SIGSTOP) for 50, 100 and
#            300 ms, STOPS of each (default 10), while CPU 1 should be idle.
# Runs of BATCH stalls each (default 5), so that every stall of a run is
# among its report's 20 worst wake-ups, which carry the causes. A benchmark,
# not a test: it prints a table and fails only when it cannot run. Needs
# root (real-time priority) and 2 CPUs.
#
#   bash scripts/stall-causes.sh [STALLS] [STOPS] [BATCH]
#
# A stall is matched with core 1's worst wake-up of at least half its length
# timed inside it or within 20 ms after it; the threads_ms error is that
# wake-up's threads_ms less the busy loop's length. For the stops, Linux's
# own idle time of CPU 1 during the stop is printed beside: a core that was
# not idle cannot come out idle.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
stalls_per_length=${1:-20}
stops_per_length=${2:-10}
batch=${3:-5}

bash scripts/deps.sh test
build_dir=$root/build/windows
cmake --preset windows >/dev/null
cmake --build "$build_dir" --target vantrel vprobe -j2 >/dev/null
out=$build_dir/stall-causes
rm -rf "$out"
mkdir -p "$out"

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$build_dir/wineprefix-causes"
export VANTREL_BUILD_DIR=$build_dir VANTREL_SOURCE_DIR=$root VANTREL_SCREENSHOT_DIR=$out
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh
e2e_init
trap 'e2e_cleanup; wine_session_stop' EXIT
require_stall_support
command -v jq >/dev/null || fail "jq is not installed"

cpu1_idle() { awk '$1 == "cpu1" { print $5 + $6 }' /proc/stat; }
now_us() { date +%s%6N; }

# One run: the stalls of `kinds` ("busy:50 stop:100 ..."), a line each in
# events.txt, then the report's worst wake-ups in worst-N.json.
run=0
measure() {
    run=$((run + 1))
    local report=$out/report-$run.json kind ms pids from to idle
    vantrel_start --fine --report "$report"
    vantrel_wait_window 15000 >/dev/null
    sleep 2
    pids="$VANTREL_PID $(prefix_processes vantrel.exe)"
    for event in "$@"; do
        kind=${event%%:*}
        ms=${event##*:}
        sleep "0.$((300 + RANDOM % 401))"
        idle=$(cpu1_idle)
        from=$(now_us)
        if [[ $kind == busy ]]; then
            stall_cpu 1 "$ms" >/dev/null
        else
            # shellcheck disable=SC2086
            kill -STOP $pids 2>/dev/null || true
            sleep "$(printf '0.%03d' "$ms")"
            # shellcheck disable=SC2086
            kill -CONT $pids 2>/dev/null || true
        fi
        to=$(now_us)
        echo "$run $kind $ms $from $to $((($(cpu1_idle) - idle) * 10))" >>"$out/events.txt"
    done
    sleep 4
    vantrel_close 10000
    jq -r --arg run "$run" '.worst_wakes[] | select(.core == 1) |
        [$run, (.at_utc | sub("\\.[0-9]+Z$"; "Z") | fromdateiso8601) * 1000 + (.at_utc | capture("\\.(?<ms>[0-9]+)Z$").ms | tonumber),
         .late_us, .cause, (.during.threads_ms // -1), (.during.idle_ms // -1)] | @tsv' "$report" >>"$out/worst.tsv"
}

events=()
for ms in 20 50 100; do
    for ((i = 0; i < stalls_per_length; i++)); do events+=("busy:$ms"); done
done
for ms in 50 100 300; do
    for ((i = 0; i < stops_per_length; i++)); do events+=("stop:$ms"); done
done
for ((k = 0; k < ${#events[@]}; k += batch)); do
    measure "${events[@]:k:batch}"
done

awk '
    FILENAME ~ /events.txt$/ { n++; run[n] = $1; kind[n] = $2; len[n] = $3; from[n] = $4 / 1000; to[n] = $5 / 1000; lidle[n] = $6; next }
    FILENAME ~ /worst.tsv$/ { m++; wrun[m] = $1; wutc[m] = $2; wlate[m] = $3; wcause[m] = $4; wthreads[m] = $5; next }
    END {
        for (k = 1; k <= n; k++) {
            key = kind[k] " " len[k] " ms"; if (!(key in count)) order[++keys] = key
            count[key]++; idlesum[key] += lidle[k]
            best = 0
            for (j = 1; j <= m; j++) {
                if (wrun[j] != run[k] || wlate[j] < len[k] * 500 || wutc[j] < from[k] || wutc[j] > to[k] + 20) continue
                if (best == 0 || wlate[j] > wlate[best]) best = j
            }
            if (!best) { share[key, "missed"]++; continue }
            share[key, wcause[best]]++
            if (kind[k] == "busy" && wcause[best] == "threads") {
                e = wthreads[best] - len[k]; errsum[key] += e < 0 ? -e : e; errn[key]++
                if (e <= 20 && e >= -20) within[key]++
            }
        }
        printf "%-14s %6s %8s %6s %8s %6s %8s %7s %20s %16s\n", "stall", "count", "threads", "idle", "drivers", "mixed", "unknown", "missed", "threads_ms error", "CPU 1 idle (Linux)"
        for (i = 1; i <= keys; i++) {
            key = order[i]
            err = errn[key] > 0 ? sprintf("%.1f ms (%d in 20)", errsum[key] / errn[key], within[key]) : "-"
            printf "%-14s %6d %7.0f%% %5.0f%% %7.0f%% %5.0f%% %7.0f%% %7d %20s %13.0f ms\n", key, count[key],
                100 * share[key, "threads"] / count[key], 100 * share[key, "idle"] / count[key],
                100 * share[key, "drivers"] / count[key], 100 * share[key, "mixed"] / count[key],
                100 * share[key, "unknown"] / count[key], share[key, "missed"], err, idlesum[key] / count[key]
        }
        printf "(busy: a real-time busy loop on CPU 1; stop: SIGSTOP of the whole process. Shares of the stalls of\n"
        printf " each row; missed: no worst wake-up of core 1 matched it. threads_ms error: mean size of threads_ms\n"
        printf " less the loop'"'"'s length, and how many within 20 ms. CPU 1 idle: its idle time during the stall.)\n"
    }
' "$out/events.txt" "$out/worst.tsv"
