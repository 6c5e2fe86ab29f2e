#!/usr/bin/env bash
# Measures the time from starting vantrel.exe under Wine to the first complete
# picture: every row showing its graph line and a label. Not part of the tests.
#
#   bash scripts/measure-startup.sh [RUNS]      (default 7)
#
# A probe that watches the screen is started first; the clock starts when
# vantrel.exe is launched and stops when the probe reports the rows ready.
# The figure includes Wine's own start of the program (about 0.1 s with a
# running wineserver). Prints every run and the median.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
runs=${1:-7}
build=${VANTREL_BUILD_DIR:-$root/build/windows}

bash scripts/deps.sh run
if [[ $build == "$root/build/windows" ]]; then
    cmake --preset windows >/dev/null
fi
cmake --build "$build" -j2 --target vantrel vprobe >/dev/null

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap wine_session_stop EXIT INT TERM
wine_session_start "$build/wineprefix-measure"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

results=()
log=$build/startup-watch.txt
for ((run = 1; run <= runs; run++)); do
    wine "$build/tests/vprobe.exe" watch 10000 </dev/null 2>/dev/null | sed -u 's/\r$//' >"$log" &
    watch_pid=$!
    until grep -q '^window_already_there=' "$log"; do sleep 0.01; done
    start=$(now_ms)
    wine "$build/vantrel.exe" </dev/null >/dev/null 2>&1 &
    vantrel_pid=$!
    until grep -q '^rows_ready_ms=' "$log" || ! kill -0 "$watch_pid" 2>/dev/null; do sleep 0.005; done
    ready=$(now_ms)
    if grep -q '^rows_ready_ms=' "$log"; then
        results+=($((ready - start)))
        echo "run $run: first complete picture after $((ready - start)) ms"
    else
        echo "run $run: the rows never became ready"
    fi
    wine "$build/tests/vprobe.exe" close 5000 </dev/null >/dev/null 2>&1 || true
    wait "$vantrel_pid" 2>/dev/null || true
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" 2>/dev/null || true
done

if ((${#results[@]} > 0)); then
    sorted=($(printf '%s\n' "${results[@]}" | sort -n))
    echo "median of ${#sorted[@]} runs: ${sorted[$(((${#sorted[@]} - 1) / 2))]} ms (min ${sorted[0]}, max ${sorted[-1]})"
fi
