# Sourced by the run and test scripts: a private Wine prefix, its wineserver
# and a virtual X display, started before and ended after, by process id.
#
#   wine_session_start PREFIX_DIR [use-desktop]
#   wine_session_stop
#
# With "use-desktop" and a reachable $DISPLAY the program is shown there;
# otherwise Xvfb provides a virtual display.

wine_session_xvfb_pid=""

# A display whose lock names a process that is gone (a server killed by a
# signal leaves it) is free again: its lock and socket are removed, as an X
# server does at its own start.
wine_session_free_display() {
    local n holder
    for ((n = 90; n < 200; n++)); do
        if [[ -e /tmp/.X${n}-lock ]]; then
            holder=$(tr -dc 0-9 <"/tmp/.X${n}-lock" 2>/dev/null) || holder=""
            [[ -n $holder ]] && kill -0 "$holder" 2>/dev/null && continue
            rm -f "/tmp/.X${n}-lock" "/tmp/.X11-unix/X${n}" 2>/dev/null || continue
        fi
        if [[ ! -e /tmp/.X${n}-lock && ! -e /tmp/.X11-unix/X${n} ]]; then
            echo "$n"
            return 0
        fi
    done
    return 1
}

wine_session_start() {
    local prefix=$1 mode=${2:-}
    export WINEPREFIX=$prefix
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko install prompts when the prefix is made.
    export WINEDLLOVERRIDES="mscoree,mshtml="

    if [[ $mode == use-desktop && -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
        :
    else
        local display
        display=$(wine_session_free_display) || { echo "no free X display" >&2; return 1; }
        # Without WINEPREFIX in its environment: the stop ends what runs in
        # the prefix with SIGKILL, and a server killed so leaves its lock.
        env -u WINEPREFIX Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        wine_session_xvfb_pid=$!
        export DISPLAY=":$display"
        local i
        for ((i = 0; i < 100; i++)); do
            [[ -e /tmp/.X11-unix/X$display ]] && break
            sleep 0.1
        done
    fi

    mkdir -p "$WINEPREFIX"
    # Wine's background services inherit the output of the command that
    # starts them: start them here with the output discarded, so a test
    # runner that captures output never waits on them.
    wineserver -p </dev/null >/dev/null 2>&1
    if [[ ! -f $WINEPREFIX/.vantrel-prefix-ready ]]; then
        wine cmd /c exit </dev/null >/dev/null 2>&1 || true
        # No window manager runs on the virtual display: unmanaged windows
        # close at once instead of after a 2 s wait for one.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        # A crashing program ends instead of waiting behind a dialog.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
        touch "$WINEPREFIX/.vantrel-prefix-ready"
        # The services that made the prefix (explorer.exe hosts the tray
        # window) read these settings at their start: restart them all.
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        wineserver -p </dev/null >/dev/null 2>&1
        wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    else
        wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    fi
}

# Process ids of everything still running in our prefix.
wine_session_prefix_pids() {
    local dir pid
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [[ $pid == "$$" ]] && continue
        if grep -qzxF "WINEPREFIX=$WINEPREFIX" "$dir/environ" 2>/dev/null; then
            echo "$pid"
        fi
    done
}

wine_session_stop() {
    if [[ -n ${WINEPREFIX:-} ]]; then
        wineserver -k </dev/null >/dev/null 2>&1 || true
        local i pids
        for ((i = 0; i < 30; i++)); do
            pids=$(wine_session_prefix_pids)
            [[ -z $pids ]] && break
            sleep 0.1
        done
        pids=$(wine_session_prefix_pids)
        if [[ -n $pids ]]; then
            # shellcheck disable=SC2086
            kill -9 $pids 2>/dev/null || true
        fi
    fi
    if [[ -n $wine_session_xvfb_pid ]]; then
        kill "$wine_session_xvfb_pid" 2>/dev/null || true
        wait "$wine_session_xvfb_pid" 2>/dev/null || true
        wine_session_xvfb_pid=""
    fi
}
