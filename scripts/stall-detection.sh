#!/usr/bin/env bash
# How many short stalls the 1 ms wake-up samplers (--fine) see, next to
# cyclictest on the same CPU as the yardstick. Under Wine on a virtual
# display: trains of STALLS stalls (default 20) of 2, 5, 10, 20 and 50 ms on
# CPU 1 (a real-time busy loop, tests/e2e/stall.c), 150 to 350 ms apart at
# random, while vantrel.exe --fine --log writes its wake-ups over 1 ms and
# cyclictest -i 1000 runs pinned to CPU 1 at a lower real-time priority than
# the stall. A benchmark, not a test: it prints a table and fails only when
# it cannot run. Needs root (real-time priority) and 2 CPUs.
#
#   bash scripts/stall-detection.sh [STALLS]
#
# A stall of s ms counts as seen when a core-1 wake line at least s/2 late is
# timed inside the stall or within 20 ms after it (cyclictest: a spike of at
# least s/2 timed there). The lateness error is that line's lateness minus
# the stall's measured length.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
stalls_per_length=${1:-20}
lengths=(2 5 10 20 50)
# A line this long after the stall's end still belongs to it.
after_ms=20
# cyclictest's priority: below the stall's 50, above Wine's ordinary threads.
yardstick_priority=40

bash scripts/deps.sh test
build_dir=$root/build/windows
cmake --preset windows >/dev/null
cmake --build "$build_dir" --target vantrel vprobe -j2 >/dev/null
out=$build_dir/stall-detection
mkdir -p "$out"
rm -f "$out"/run.csv "$out"/stalls.txt "$out"/cyclictest.txt

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$build_dir/wineprefix-stall"
export VANTREL_BUILD_DIR=$build_dir VANTREL_SOURCE_DIR=$root VANTREL_SCREENSHOT_DIR=$out
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh
e2e_init
trap 'e2e_cleanup; wine_session_stop' EXIT
require_stall_support

# vantrel.exe takes --fine once the option is wired in; until then only the
# yardstick is measured.
with_vantrel=1
if ! wine "$VANTREL_EXE" --help </dev/null 2>&1 | grep -q -- '--fine'; then
    with_vantrel=0
    echo "vantrel.exe has no --fine option in this build: only cyclictest is measured" >&2
fi
if ((with_vantrel)); then
    vantrel_start --fine --log "$out/run.csv"
    vantrel_wait_window 15000 >/dev/null
    # The wake-up samplers choose their wait in the first 0.2 s; let the
    # start settle.
    sleep 2
fi

cyclictest -m -q -i 1000 -a 1 -t 1 -p "$yardstick_priority" --spike=1000 --spike-nodes=100000 \
    >"$out/cyclictest.txt" 2>&1 &
yardstick_pid=$!
e2e_started_pids+=("$yardstick_pid")
sleep 1

for s in "${lengths[@]}"; do
    for ((i = 0; i < stalls_per_length; i++)); do
        sleep "0.$((150 + RANDOM % 201))"
        echo "length_ms=$s $(stall_cpu 1 "$s" | tail -n 1)" >>"$out/stalls.txt"
    done
done
sleep 0.5

# cyclictest prints the spikes it recorded when it is interrupted.
kill -INT "$yardstick_pid"
wait "$yardstick_pid" || true
if ((with_vantrel)); then
    vantrel_close 10000
fi

awk -v after_ms="$after_ms" -v with_vantrel="$with_vantrel" '
    # "2026-12-07T23:37:07.086Z" as ms since 1970 (days from the civil date,
    # in eras of 400 years that begin on 1 March).
    function utc_ms(t,   y, m, d, era, yoe, doy, days) {
        y = substr(t, 1, 4) + 0; m = substr(t, 6, 2) + 0; d = substr(t, 9, 2) + 0
        if (m <= 2) { y--; m += 12 }
        era = int(y / 400); yoe = y - era * 400
        doy = int((153 * (m - 3) + 2) / 5) + d - 1
        days = era * 146097 + yoe * 365 + int(yoe / 4) - int(yoe / 100) + doy - 719468
        return ((days * 24 + substr(t, 12, 2)) * 60 + substr(t, 15, 2)) * 60000 + substr(t, 18, 2) * 1000 + substr(t, 21, 3)
    }
    # key=value fields of a stall line
    FILENAME ~ /stalls.txt$/ {
        n++
        for (f = 1; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
        len[n] = v["length_ms"] + 0; smono[n] = v["started_mono_us"] + 0; emono[n] = v["ended_mono_us"] + 0
        sutc[n] = v["started_utc_us"] / 1000; eutc[n] = v["ended_utc_us"] / 1000
        next
    }
    # "T: 0 Spike:   latency: TS:   monotonic us"
    FILENAME ~ /cyclictest.txt$/ && $3 == "Spike:" {
        sub(":", "", $4); ns++; slat[ns] = $4 + 0; sts[ns] = $6 + 0
        next
    }
    FILENAME ~ /run.csv$/ && $0 ~ /,wake$/ {
        split($0, c, ","); nw++; wutc[nw] = utc_ms(c[1]); wcore[nw] = c[2] + 0; wlate[nw] = c[4] + 0
        next
    }
    END {
        for (k = 1; k <= n; k++) {
            l = len[k]; stalls[l]++
            half = l * 1000 / 2
            best = -1
            for (j = 1; j <= nw; j++) {
                if (wcore[j] != 1 || wlate[j] < half) continue
                if (wutc[j] >= sutc[k] && wutc[j] <= eutc[k] + after_ms && wlate[j] > best) best = wlate[j]
            }
            if (best >= 0) {
                seen[l]++
                error = best / 1000 - (emono[k] - smono[k]) / 1000
                errsum[l] += error < 0 ? -error : error
                if (error <= 1.5 && error >= -1.5) within[l]++
            }
            spike = -1
            for (j = 1; j <= ns; j++) {
                if (slat[j] >= half && sts[j] >= smono[k] && sts[j] <= emono[k] + after_ms * 1000 && slat[j] > spike) spike = slat[j]
            }
            if (spike >= 0) {
                yard[l]++
                yerror = spike / 1000 - (emono[k] - smono[k]) / 1000
                yerrsum[l] += yerror < 0 ? -yerror : yerror
                # The same stall as the two tools read it.
                if (best >= 0) {
                    both[l]++
                    d = (best - spike) / 1000
                    if (d <= 1.5 && d >= -1.5) agree[l]++
                }
            }
        }
        printf "%-8s %6s %8s %11s %17s %17s %14s\n", "stall", "stalls", "--fine", "cyclictest", "--fine error", "cyclictest error",
            "within 1.5 ms"
        for (l = 0; l <= 1000; l++) {
            if (!(l in stalls)) continue
            fine = with_vantrel ? sprintf("%d", seen[l]) : "-"
            err = with_vantrel && seen[l] > 0 ? sprintf("%.2f ms (%d/%d)", errsum[l] / seen[l], within[l], seen[l]) : "-"
            yerr = yard[l] > 0 ? sprintf("%.2f ms", yerrsum[l] / yard[l]) : "-"
            close_to = with_vantrel && both[l] > 0 ? sprintf("%d/%d", agree[l], both[l]) : "-"
            printf "%-8s %6d %8s %11d %17s %17s %14s\n", l " ms", stalls[l], fine, yard[l], err, yerr, close_to
        }
        printf "(error: the reading less the busy loop'"'"'s length, mean of its size; (n/m): within 1.5 ms of it.\n"
        printf " within 1.5 ms: --fine'"'"'s reading within 1.5 ms of cyclictest'"'"'s for the same stall.)\n"
        if (!with_vantrel) exit
        # Wake-ups over 5 ms that no stall explains, per core.
        for (j = 1; j <= nw; j++) {
            if (wlate[j] <= 5000) continue
            inside = 0
            for (k = 1; k <= n; k++) if (wutc[j] >= sutc[k] && wutc[j] <= eutc[k] + after_ms) inside = 1
            if (!inside) outside[wcore[j]]++
            cores[wcore[j]] = 1
        }
        printf "\nwake-ups over 5 ms outside the stalls:"
        for (k = 0; k < 256; k++) if (k in cores || k <= 1) printf "  core %d: %d", k, outside[k] + 0
        printf "\n"
    }
' "$out/stalls.txt" "$out/cyclictest.txt" $( ((with_vantrel)) && echo "$out/run.csv")
