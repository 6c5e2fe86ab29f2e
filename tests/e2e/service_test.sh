#!/usr/bin/env bash
# The service: installed by --install-service, started and stopped by Wine's
# service manager (sc), its record written without a window; then the same
# from the Windows Installer package (msiexec /i, /x). The server is kept
# (wineserver -p, as the session starts it): services end with it.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
command -v jq >/dev/null || fail "jq is not installed"

work=$VANTREL_SCREENSHOT_DIR/service
rm -rf "$work"
mkdir -p "$work"
metrics=$work/vantrel.prom
report=$work/report.json
key='HKLM\System\CurrentControlSet\Services\Vantrel'
msi=$VANTREL_BUILD_DIR/service/vantrel-test.msi
program_folder="$WINEPREFIX/drive_c/Program Files/Vantrel"

quietly() { "$@" </dev/null 2>/dev/null | tr -d '\r'; }
service_state() { quietly wine sc query Vantrel | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
registered() { wine reg query "$key" </dev/null >/dev/null 2>&1; }

# Whatever happens, the prefix keeps no service (an automatic one would
# start with the next test's server) and no process of ours.
service_cleanup() {
    if registered; then
        quietly wine sc stop Vantrel >/dev/null || true
        wait_until 12 '[[ $(service_state) == STOPPED ]]' || true
        quietly wine sc delete Vantrel >/dev/null || true
    fi
    [[ -f $msi && -d $program_folder ]] && quietly wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null || true
    local pid
    for pid in $(prefix_processes vantrel.exe); do
        echo "-- cleanup: ending vantrel.exe $pid" >&2
        kill -9 "$pid" 2>/dev/null || true
    done
    e2e_cleanup
}
trap service_cleanup EXIT

# 1. By hand, --service is refused: it is for the service manager.
output=$(wine "$VANTREL_EXE" --service --metrics "$(winepath -w "$metrics")" 2>&1 </dev/null) && code=0 || code=$?
expect '((code == 2)) && [[ $output == *"meant for the service manager"* ]]' "--service by hand ends 2 with a message ($code: $output)"
expect '[[ ! -e $metrics ]]' "--service by hand writes nothing"

# 2. Installed with relative paths, from another folder: the command line
#    holds them made absolute.
cd "$work"
output=$(wine "$VANTREL_EXE" --install-service --metrics vantrel.prom --report report.json --fine 2>&1 </dev/null) && code=0 ||
    code=$?
expect '((code == 0)) && [[ $output == *"installed the service Vantrel"* ]]' "--install-service ends 0 and says so ($code: $output)"
image=$(quietly wine reg query "$key" /v ImagePath)
note "ImagePath: $(grep ImagePath <<<"$image")"
win_metrics=$(winepath -w "$metrics")
expect '[[ $image == *"\"--service\" \"--metrics\" \"$win_metrics\" \"--report\" \"$(winepath -w "$report")\" \"--fine\""* ]]' \
    "the service's ImagePath holds --service and the options, paths absolute"

# 3. Started: RUNNING within 10 s, the metrics rewritten, no window shown.
started=$SECONDS
quietly wine sc start Vantrel >/dev/null
wait_until 10 '[[ $(service_state) == RUNNING ]]' || fail "the service is not RUNNING 10 s after sc start ($(service_state))"
note "RUNNING after $((SECONDS - started)) s"
wait_until 10 '[[ -s $metrics ]]' || fail "the service wrote no metrics"
first=$(stat -c %y "$metrics")
wait_until 12 '[[ $(stat -c %y "$metrics") != "$first" ]]' || fail "the metrics were not rewritten within 12 s"
expect 'grep -qx "vantrel_service 1" "$metrics"' "the service's metrics say vantrel_service 1"
shown=$({ xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null || true; } | wc -l)
expect '((shown == 0))' "the service shows no window titled Vantrel ($shown)"

# 4. A second install is refused with a message.
output=$(wine "$VANTREL_EXE" --install-service --metrics "$win_metrics" 2>&1 </dev/null) && code=0 || code=$?
expect '((code != 0)) && [[ $output == *"exists"* ]]' "a second install ends $code with a message ($output)"

# 5. Stopped: STOPPED within 12 s, exit code 0, the report final and complete.
started=$SECONDS
quietly wine sc stop Vantrel >/dev/null
wait_until 12 '[[ $(service_state) == STOPPED ]]' || fail "the service is not STOPPED 12 s after sc stop ($(service_state))"
query=$(quietly wine sc query Vantrel)
note "STOPPED after $((SECONDS - started)) s"
expect 'grep -Eq "WIN32_EXIT_CODE *: *0 " <<<"$query" && grep -Eq "SERVICE_EXIT_CODE *: *0 " <<<"$query"' \
    "the service's exit code is 0: $(grep EXIT_CODE <<<"$query" | tr -s ' ' | tr '\n' ' ')"
expect '[[ $(jq -r .final "$report") == true && $(jq -r .complete "$report") == true ]]' "the report is final and complete"
expect 'grep -qx "vantrel_run_final 1" "$metrics"' "the metrics are the run's last"

# 6. Uninstalled: ends 0, and the service manager knows it no more.
output=$(wine "$VANTREL_EXE" --uninstall-service 2>&1 </dev/null) && code=0 || code=$?
expect '((code == 0)) && [[ $output == *"removed the service Vantrel"* ]]' "--uninstall-service ends 0 and says so ($code: $output)"
expect '! registered && [[ -z $(service_state) ]]' "sc query finds no service"
cd - >/dev/null

# 7. The package, built here as scripts/package.sh builds it, installed with
#    the properties: a RUNNING service writing METRICS_FILE.
version=$(sed -n 's/^#define VANTREL_VERSION "\(.*\)"$/\1/p' "$VANTREL_BUILD_DIR/generated/app/version.h")
bash "$VANTREL_SOURCE_DIR/scripts/build-msi.sh" "$VANTREL_EXE" "$version" "$msi" >/dev/null
msi_metrics=$work/from-msi.prom
win_msi=$(winepath -w "$msi")
wine msiexec /i "$win_msi" /qn METRICS_FILE="$(winepath -w "$msi_metrics")" EXTRA_FLAGS=--fine </dev/null >/dev/null 2>&1 &&
    code=0 || code=$?
expect '((code == 0)) && [[ -f $program_folder/vantrel.exe ]]' "msiexec /i ends $code and puts vantrel.exe in Program Files\\Vantrel"
expect '[[ $(quietly wine reg query "$key" /v ImagePath) == *"--service --metrics \"$(winepath -w "$msi_metrics")\" --fine"* ]]' \
    "the package's service has the properties in its command line"
wait_until 10 '[[ $(service_state) == RUNNING ]]' || fail "the package's service is not RUNNING ($(service_state))"
wait_until 10 'grep -qx "vantrel_service 1" "$msi_metrics" 2>/dev/null' || fail "the package's service wrote no metrics"
wait_until 10 'grep -q "^vantrel_wake_lateness_seconds_count" "$msi_metrics"' ||
    fail "the package's service does not run with EXTRA_FLAGS (--fine): no wake-up figures"
wine msiexec /x "$win_msi" /qn </dev/null >/dev/null 2>&1 && code=0 || code=$?
expect '((code == 0)) && ! registered && [[ ! -e $program_folder ]]' "msiexec /x ends $code and leaves no service and no program folder"
expect 'grep -qx "vantrel_run_final 1" "$msi_metrics"' "the package's service ended its record at the removal"

# 8. SERVICE=0: the program alone.
wine msiexec /i "$win_msi" /qn SERVICE=0 </dev/null >/dev/null 2>&1 && code=0 || code=$?
expect '((code == 0)) && [[ -f $program_folder/vantrel.exe ]] && ! registered' "SERVICE=0 installs the program without the service"
wine msiexec /x "$win_msi" /qn </dev/null >/dev/null 2>&1 && code=0 || code=$?
expect '((code == 0)) && [[ ! -e $program_folder ]]' "and msiexec /x removes it"
