#!/usr/bin/env bash
# Builds vantrel.exe and runs it under Wine.
#
#   bash scripts/run.sh
#
# With a reachable X display ($DISPLAY) the window opens there and the
# script returns when you close it. Without one, the program runs on a
# virtual display for a few seconds (long enough for the tray icon to show),
# a screenshot is saved to build/screenshots/vantrel-run.png, and the
# program is closed as a user would close it (WM_CLOSE).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=$root/build/windows
shots=$root/build/screenshots

bash scripts/deps.sh run

# Configured every time (a second or two once cached), so a build folder
# made before a helper program was added still knows its target.
mkdir -p "$root/build"
cmake --preset windows >"$root/build/run-configure.log" 2>&1 ||
    { cat "$root/build/run-configure.log"; exit 1; }
cmake --build --preset windows --target vantrel vprobe >"$root/build/run-build.log" 2>&1 ||
    { cat "$root/build/run-build.log"; exit 1; }

# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
vantrel_pid=""
finish() {
    if [[ -n $vantrel_pid ]] && kill -0 "$vantrel_pid" 2>/dev/null; then
        kill "$vantrel_pid" 2>/dev/null || true
        wait "$vantrel_pid" 2>/dev/null || true
    fi
    wine_session_stop
}
trap finish EXIT
trap 'exit 130' INT TERM

if [[ ! -f $root/build/wineprefix-run/.vantrel-prefix-ready ]]; then
    echo "Making the Wine prefix build/wineprefix-run (once, about 10 s)..."
fi
wine_session_start "$root/build/wineprefix-run" use-desktop

if [[ -z $wine_session_xvfb_pid ]]; then
    echo "Running vantrel.exe on display $DISPLAY; close its window to end."
    wine "$build/vantrel.exe" </dev/null >/dev/null 2>&1 || true
    exit 0
fi

echo "No reachable display: running vantrel.exe on a virtual display ($DISPLAY)."
probe() {
    { wine "$build/tests/vprobe.exe" "$@" </dev/null 2>/dev/null || true; } | sed 's/\r$//'
}
wine "$build/vantrel.exe" </dev/null >/dev/null 2>&1 &
vantrel_pid=$!
window=$(probe window 20000)
if ! grep -q '^found=1' <<<"$window"; then
    echo "vantrel.exe showed no window" >&2
    exit 1
fi
# The tray icon is first drawn about 3.2 s after start.
sleep 5

mkdir -p "$shots"
shot=$shots/vantrel-run.png
crop=$shots/vantrel-run-window.png
import -window root "$shot"
# The tray icon window sits at the top left of the screen and the monitor
# window at (160, 200): the crop keeps both.
IFS=, read -r _ _ right bottom <<<"$(grep '^outer=' <<<"$window" | cut -d= -f2)"
convert "$shot" -crop "$((right + 24))x$((bottom + 24))+0+0" +repage "$crop"

closed=$(probe close 5000)
code=unknown
if grep -q '^ended=1' <<<"$closed"; then
    code=0
    wait "$vantrel_pid" || code=$?
    vantrel_pid=""
fi
echo "vantrel.exe closed (exit code $code)."
echo "Screenshot: $shot"
echo "Around the window and the tray icon: $crop"
