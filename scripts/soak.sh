#!/usr/bin/env bash
# Soak of the real program: vantrel.exe under Wine on a virtual display for
# MINUTES (default 10), with a 400 ms real-time stall injected on each CPU in
# turn every INTERVAL seconds (default 15). Prints the process's memory at the
# start and at the end, and how many of the stalls the window showed. Fails if
# a stall did not show, memory grew, or the program did not end cleanly.
# Not part of the test run: bash scripts/soak.sh [MINUTES] [INTERVAL]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
minutes=${1:-10}
interval=${2:-15}
((interval >= 13)) || { echo "the interval must exceed the graph's 12.8 s of history" >&2; exit 2; }

bash scripts/deps.sh test
build_dir=$root/build/soak
cmake --preset windows -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target vantrel vprobe -j2 >/dev/null

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$build_dir/wineprefix"

export VANTREL_BUILD_DIR=$build_dir VANTREL_SOURCE_DIR=$root VANTREL_SCREENSHOT_DIR=$build_dir/screenshots
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh
e2e_init
# lib.sh's cleanup ends what it started; the Wine session ends after it.
trap 'e2e_cleanup; wine_session_stop' EXIT
require_stall_support

# Memory of the Wine process that runs vantrel.exe, in KiB.
memory_of() {
    awk '/^(VmRSS|VmData):/ {printf "%s=%s ", $1, $2}' "/proc/$1/status"
}
rss_of() {
    awk '/^VmRSS:/ {print $2}' "/proc/$1/status"
}

vantrel_start
vantrel_wait_window 15000 >/dev/null
# Warm-up: the first tray update, fonts and caches are in place after a few seconds.
sleep 10
rss_start=$(rss_of "$VANTREL_PID")
echo "memory at start (after 10 s): $(memory_of "$VANTREL_PID")"

processors=$(windows_processor_count)
deadline=$((SECONDS + minutes * 60))
injected=0
seen=0
cpu=0
while ((SECONDS < deadline)); do
    # The graph keeps 12.8 s of history, less than the time between stalls,
    # so full-height columns in the row after a stall are this stall's.
    before=$(vprobe rows)
    full_before=$(value_of "row${cpu}_full_columns" <<<"$before")
    stall_cpu "$cpu" 400
    injected=$((injected + 1))
    sleep 0.5
    after=$(vprobe rows)
    full_after=$(value_of "row${cpu}_full_columns" <<<"$after")
    label_after=$(value_of "row${cpu}_label_value" <<<"$after")
    if ((full_after >= full_before + 2)); then
        seen=$((seen + 1))
        echo "stall $injected on CPU $cpu: row $cpu shows $full_after full-height columns (before: $full_before), label +${label_after}ms"
    else
        echo "stall $injected on CPU $cpu did not show: full-height columns before $full_before, after $full_after"
    fi
    kill -0 "$VANTREL_PID" 2>/dev/null || fail "vantrel.exe ended during the soak"
    cpu=$(((cpu + 1) % processors))
    sleep "$interval"
done

rss_end=$(rss_of "$VANTREL_PID")
echo "memory at end (after $minutes min): $(memory_of "$VANTREL_PID")"
screenshot soak-end
vantrel_close
echo "stalls injected: $injected, shown: $seen"
echo "resident memory: start ${rss_start} KiB, end ${rss_end} KiB, change $((rss_end - rss_start)) KiB"
echo "exit code: $VANTREL_EXIT_CODE"

status=0
((seen == injected)) || { echo "FAIL: not every stall showed"; status=1; }
# Allow a page or two of noise, not growth.
((rss_end - rss_start <= 256)) || { echo "FAIL: resident memory grew"; status=1; }
((VANTREL_EXIT_CODE == 0)) || { echo "FAIL: exit code $VANTREL_EXIT_CODE"; status=1; }
exit $status
