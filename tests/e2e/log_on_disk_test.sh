#!/usr/bin/env bash
# The log on disk stays whole. Windows' del during the run is refused and the
# run ends 0 with every line (a Linux rm is no Windows deletion: Wine cannot
# refuse it). A full disk (the file size limit of the starting shell: writes
# go short, then fail) leaves it ending with a newline, the rest in log_dropped.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"
work=$VANTREL_SCREENSHOT_DIR/log-on-disk
rm -rf "$work" && mkdir -p "$work"
# Every event is a line of the log or counted as dropped, and it ends with a newline.
whole_log() {
    [[ $(tail -c1 "$work/l.csv" | od -An -c) == *'\n' ]] &&
        (($(jq '[.cores[].events] | add' "$work/r.json") == $(grep -cv ",,,," "$work/l.csv") - 1 + $(jq .log_dropped "$work/r.json")))
}

# Long enough for del on a loaded machine; closed once it is done.
vantrel_start --no-window --log "$(winepath -w "$work/l.csv")" --report "$(winepath -w "$work/r.json")" --duration 120
wait_until 20 '[[ -s $work/l.csv ]]' || fail "no log"
wine cmd /c del "$(winepath -w "$work/l.csv")" </dev/null >/dev/null 2>&1 || true
sleep 1
vantrel_close
expect '[[ -e $work/l.csv ]] && ((VANTREL_EXIT_CODE == 0)) && whole_log && (($(jq .log_dropped "$work/r.json") == 0))' \
    "del is refused, the run ends with 0 ($VANTREL_EXIT_CODE) and its log is whole"

(trap '' XFSZ && ulimit -f 8 && exec wine "$VANTREL_EXE" --no-window --log "$(winepath -w "$work/l.csv")" \
    --report "$(winepath -w "$work/r.json")" --duration 14 </dev/null >/dev/null 2>"$work/err.txt") &
VANTREL_PID=$! && e2e_started_pids+=("$VANTREL_PID")
wait_for_exit "$VANTREL_PID" 40 || fail "the run on a full disk did not end"
expect '((WAITED_EXIT_CODE == 4)) && (($(jq .log_dropped "$work/r.json") > 0)) && whole_log' \
    "a full disk: exit 4 ($WAITED_EXIT_CODE), $(jq .log_dropped "$work/r.json") lines dropped, the log whole ($(tail -c 30 "$work/l.csv" | tr '\n' '|'))"
echo "PASS"
