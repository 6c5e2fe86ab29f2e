# Shared pieces of the end-to-end tests. Sourced by tests/e2e/*_test.sh,
# which CTest runs inside a Wine session (DISPLAY, WINEPREFIX and a running
# wineserver) with VANTREL_BUILD_DIR, VANTREL_SOURCE_DIR and
# VANTREL_SCREENSHOT_DIR set.
#
#   e2e_init                      checks the environment, sets the paths, arms cleanup
#   fail MESSAGE / expect COND MESSAGE / note MESSAGE
#   wait_until SECONDS COND       polls COND until it holds or SECONDS pass
#   vprobe ARGS...                runs the Windows probe, prints key=value lines
#   value_of KEY <<<"$output"     the value of KEY in probe output
#   vantrel_start [ARGS...]       starts vantrel.exe, sets VANTREL_PID (Linux pid)
#   vantrel_start_with_cpus [--until-ready] N [ARGS]  the same, Windows made to report N processors
#   vantrel_wait_window [MS]      waits for the monitor window, prints `vprobe window`
#   vantrel_close [MS]            posts WM_CLOSE, waits, sets VANTREL_EXIT_CODE, CLOSE_OUTPUT
#   wait_for_exit PID SECONDS     waits for a process we started; sets WAITED_EXIT_CODE
#   screenshot NAME               saves the whole display (and a crop around the window)
#   stall_cpu CPU MS              keeps CPU busy at real-time priority for MS ms
#   prefix_processes NAME         Linux pids of NAME running in this Wine prefix
#
# Every process started through these helpers is ended on exit if it is
# still running, so a failing test leaves nothing behind. A test never stops
# without a word: a command that fails outside a condition prints FAIL with
# where it was and its status, and so does a test killed by a signal.

set -Eeuo pipefail

e2e_started_pids=()
# Set once a FAIL line says why the test stops.
e2e_said_why=0

fail() {
    e2e_said_why=1
    echo "FAIL: $*" >&2
    exit 1
}

# The ERR trap's: the failed command, its status, and the calls that led to
# it. Only the test's own shell speaks and stops: a subshell (a command
# substitution, a part of a pipeline) goes on or ends as it always did, and
# the command that held it fails in its turn if it must.
e2e_stopped() {
    local status=$1 line=$2 command=$3 where i
    ((BASH_SUBSHELL == 0)) || return 0
    e2e_said_why=1
    where="${BASH_SOURCE[1]##*/}:$line"
    for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do
        where+=" in ${FUNCNAME[i]}, called from ${BASH_SOURCE[i + 1]##*/}:${BASH_LINENO[i]}"
    done
    echo "FAIL: stopped at $where: '$command' ended with status $status" >&2
    exit "$status"
}
trap 'e2e_stopped $? $LINENO "$BASH_COMMAND"' ERR

note() {
    echo "-- $*"
}

# expect 'test expression' 'what was expected'
expect() {
    if ! eval "$1"; then
        fail "$2 (check: $1)"
    fi
    echo "ok: $2"
}

# wait_until SECONDS 'test expression': true as soon as the expression holds,
# false if it still does not after SECONDS. A busy machine delays what a test
# waits for, so waits poll up to a generous limit instead of sleeping a guess.
wait_until() {
    local seconds=$1 condition=$2 deadline
    deadline=$((SECONDS + seconds))
    while ! eval "$condition"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

e2e_cleanup() {
    local status=$? pid i
    if ((status != 0 && !e2e_said_why)); then
        echo "FAIL: the test ended with status $status without saying why" >&2
    fi
    for pid in "${e2e_started_pids[@]}"; do
        if kill -0 "$pid" 2>/dev/null; then
            echo "-- cleanup: ending leftover process $pid" >&2
            kill "$pid" 2>/dev/null || true
            for ((i = 0; i < 20; i++)); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
        wait "$pid" 2>/dev/null || true
    done
    e2e_started_pids=()
}

e2e_init() {
    : "${VANTREL_BUILD_DIR:?VANTREL_BUILD_DIR is not set}"
    : "${VANTREL_SOURCE_DIR:?VANTREL_SOURCE_DIR is not set}"
    : "${WINEPREFIX:?no Wine session: WINEPREFIX is not set}"
    : "${DISPLAY:?no Wine session: DISPLAY is not set}"
    VANTREL_SCREENSHOT_DIR=${VANTREL_SCREENSHOT_DIR:-$VANTREL_BUILD_DIR/screenshots}
    mkdir -p "$VANTREL_SCREENSHOT_DIR"
    VANTREL_EXE=$VANTREL_BUILD_DIR/vantrel.exe
    VPROBE_EXE=$VANTREL_BUILD_DIR/tests/vprobe.exe
    [[ -f $VANTREL_EXE ]] || fail "not built: $VANTREL_EXE"
    [[ -f $VPROBE_EXE ]] || fail "not built: $VPROBE_EXE"
    export WINEDEBUG=${WINEDEBUG:--all}
    trap e2e_cleanup EXIT
    trap 'e2e_said_why=1; echo "FAIL: interrupted (SIGINT)" >&2; exit 130' INT
    trap 'e2e_said_why=1; echo "FAIL: ended by SIGTERM (a time limit?)" >&2; exit 143' TERM
    # A monitor window of an earlier run would answer every probe.
    local leftover
    leftover=$(vprobe window 0 | value_of found)
    [[ $leftover == 0 ]] || fail "a monitor window is already open before the test starts"
}

# The probe is a console program; Wine may end its lines with CR LF. Its
# exit status is not passed on: callers judge the values it prints.
vprobe() {
    { wine "$VPROBE_EXE" "$@" </dev/null 2>/dev/null || true; } | sed -u 's/\r$//'
}

# Reads all of its input: a reader that stopped at the first match (grep
# -m1) would make the writer before it die of SIGPIPE, and the pipeline fail.
value_of() {
    awk -v key="$1=" 'index($0, key) == 1 && !found { print substr($0, length(key) + 1); found = 1 }'
}

vantrel_start() {
    # Output to a file: a test runner waits for every holder of its pipes.
    VANTREL_STDERR=$VANTREL_SCREENSHOT_DIR/vantrel-stderr.txt
    wine "$VANTREL_EXE" "$@" </dev/null >/dev/null 2>"$VANTREL_STDERR" &
    VANTREL_PID=$!
    e2e_started_pids+=("$VANTREL_PID")
}

# A library preloaded into Wine that makes GetSystemInfo report
# VANTREL_FAKE_CPUS processors (the machine has 2).
cpu_count_preload_build() {
    CPU_PRELOAD=$VANTREL_BUILD_DIR/cpu_count_preload.so
    local source=$VANTREL_SOURCE_DIR/tests/e2e/cpu_count_preload.c
    if [[ ! -f $CPU_PRELOAD || $source -nt $CPU_PRELOAD ]]; then
        cc -O2 -std=c11 -Wall -Wextra -Werror -shared -fPIC -o "$CPU_PRELOAD" "$source" -ldl ||
            fail "cannot build $source"
    fi
}

# Dozens of threads making windows at once sometimes break Wine 8.0 itself:
# glibc finds its heap corrupted on Wine's Unix side ("malloc(): unaligned
# tcache chunk detected" and the like on standard error). Wine then ends with
# exit code 1 or dies of SIGSEGV (139), within a second of the start or, on a
# loaded machine, while the windows are still being made; or the thread that
# hit it loops for ever in Wine's exception dispatch (its stack stops in
# virtual_unwind) and, holding Wine's window lock, stops every other thread
# from making a window. A fault of the program itself would not look like
# that: Wine ends it with the exception's code, and glibc says nothing.
# Such a start is tried again, at most twice, and said. With --until-ready
# the start lasts until the monitor window and the hidden window of every
# further core's sampler are there (at most 60 s: a loaded machine has taken
# over 30 s for 63 of them), so a break while they are made is caught too.
#   vantrel_start_with_cpus [--until-ready] N [ARGS]
vantrel_start_with_cpus() {
    local until_ready=0 attempt deadline ready heap_broke stacks
    local heap_message='unaligned (tcache )?chunk|invalid next size|corrupted|free\(\)|malloc\(\)|realloc\(\)'
    if [[ $1 == --until-ready ]]; then
        until_ready=1
        shift
    fi
    local cpus=$1
    shift
    [[ -n ${CPU_PRELOAD:-} ]] || cpu_count_preload_build
    for attempt in 1 2 3; do
        VANTREL_FAKE_CPUS=$cpus LD_PRELOAD=$CPU_PRELOAD vantrel_start "$@"
        ready=1
        if ((until_ready)); then
            ready=0
            deadline=$((SECONDS + 60))
            while kill -0 "$VANTREL_PID" 2>/dev/null && ((SECONDS < deadline)); do
                if [[ $(vprobe window 500 | value_of found) == 1 ]] &&
                    (($(vprobe samplers | value_of samplers) >= cpus - 1)); then
                    ready=1
                    break
                fi
                sleep 0.2
            done
        else
            sleep 1.5
        fi
        heap_broke=$(grep -m1 -E "$heap_message" "$VANTREL_STDERR" || true)
        if kill -0 "$VANTREL_PID" 2>/dev/null; then
            ((ready)) && return 0
            stacks=$VANTREL_SCREENSHOT_DIR/not-ready-$cpus-$attempt.txt
            wine_backtraces "$stacks"
            # Anything else is left to the test's own checks, which fail.
            [[ -n $heap_broke ]] || return 0
            note "Wine's heap broke while the windows were made with $cpus processors (attempt $attempt): $heap_broke"
            kill -9 "$VANTREL_PID" 2>/dev/null || true
            wait "$VANTREL_PID" 2>/dev/null || true
            continue
        fi
        local code=0
        wait "$VANTREL_PID" || code=$?
        if ((code == 139)) || { ((code == 1)) && [[ -n $heap_broke ]]; }; then
            note "Wine crashed at the start with $cpus processors (attempt $attempt, exit code $code): ${heap_broke:-SIGSEGV}"
            continue
        fi
        fail "vantrel.exe with $cpus processors ended at once with exit code $code: $(head -c 300 "$VANTREL_STDERR")"
    done
    fail "Wine broke at the start with $cpus processors three times"
}

# wine_backtraces FILE: every thread's stack of every process in the prefix
# into FILE, and for vantrel.exe's threads a count of where each one waits
# (its first frame with a name) on standard output.
wine_backtraces() {
    timeout 60 wine winedbg --command "bt all" </dev/null 2>&1 | tr -d '\r' >"$1" || true
    note "vantrel.exe's threads, by where they are (all stacks in $1):"
    awk '/^Backtracing for thread/ { mine = /vantrel\.exe/; named = 0; next }
         mine && !named && /^ *(=>)?[0-9]+ 0x/ && $3 != "in" { sub(/[+(].*/, "", $3); print "    " $3; named = 1 }' "$1" |
        sort | uniq -c | sort -rn | head -12
}

vantrel_wait_window() {
    local wait_ms=${1:-15000} output
    output=$(vprobe window "$wait_ms")
    [[ $(value_of found <<<"$output") == 1 ]] || fail "no \"VantrelWindow\" window within $wait_ms ms"
    echo "$output"
}

# wait_for_exit PID SECONDS: polls, then reaps the process for its exit code.
wait_for_exit() {
    local pid=$1 seconds=$2 i
    for ((i = 0; i < seconds * 20; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then
        return 1
    fi
    WAITED_EXIT_CODE=0
    wait "$pid" || WAITED_EXIT_CODE=$?
    return 0
}

vantrel_close() {
    local wait_ms=${1:-5000}
    CLOSE_OUTPUT=$(vprobe close "$wait_ms")
    if [[ -z $CLOSE_OUTPUT ]]; then
        # The probe ended without a word: Wine lost it, not the program.
        note "the probe ended without output; posting WM_CLOSE again"
        CLOSE_OUTPUT=$(vprobe close "$wait_ms")
    fi
    [[ $(value_of posted <<<"$CLOSE_OUTPUT") == 1 ]] || fail "WM_CLOSE could not be posted: $CLOSE_OUTPUT"
    wait_for_exit "$VANTREL_PID" 10 || fail "vantrel.exe (pid $VANTREL_PID) did not end after WM_CLOSE"
    VANTREL_EXIT_CODE=$WAITED_EXIT_CODE
}

screenshot() {
    local name=$1 path=$VANTREL_SCREENSHOT_DIR/$1.png
    if import -window root "$path" 2>/dev/null; then
        # The window sits at (160, 200); a crop around it is easier to look at.
        convert "$path" -crop 260x260+140+180 +repage "$VANTREL_SCREENSHOT_DIR/$name-window.png" 2>/dev/null || true
        note "screenshot: $path"
    else
        note "screenshot $name could not be taken"
    fi
}

# The stall program is a native Linux program, built here from its source.
stall_build() {
    STALL_EXE=$VANTREL_BUILD_DIR/stall
    local source=$VANTREL_SOURCE_DIR/tests/e2e/stall.c
    if [[ ! -x $STALL_EXE || $source -nt $STALL_EXE ]]; then
        cc -O2 -std=c11 -Wall -Wextra -Werror -o "$STALL_EXE" "$source" || fail "cannot build $source"
    fi
}

# stall_cpu CPU MS [COUNT GAP_MS]: a real-time busy loop pinned to CPU that
# ends itself; with COUNT, a train of that many, GAP_MS asleep after each.
stall_cpu() {
    local cpu=$1
    shift
    [[ -n ${STALL_EXE:-} ]] || stall_build
    chrt -f 50 taskset -c "$cpu" "$STALL_EXE" "$@"
}

# Fails unless real-time scheduling and pinning work here (root, 2+ CPUs).
require_stall_support() {
    local cpus
    cpus=$(nproc --all)
    ((cpus >= 2)) || fail "this test needs at least 2 CPUs, the machine has $cpus"
    chrt -f 50 taskset -c 1 true 2>/dev/null ||
        fail "real-time scheduling on CPU 1 is not permitted (chrt -f 50 taskset -c 1 needs root)"
    stall_build
}

prefix_processes() {
    local name=$1 dir pid
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "$dir/environ" 2>/dev/null || continue
        tr '\0' ' ' <"$dir/cmdline" 2>/dev/null | grep -qiF "$name" && echo "$pid"
    done
    return 0
}

# Number of processors Windows reports to programs.
windows_processor_count() {
    vprobe sysinfo | value_of processors
}
