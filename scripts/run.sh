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

# annotate SHOT OUT CLIENT_X CLIENT_Y CLIENT_W CLIENT_H: the screenshot with
# the menu open, cropped to the tray icon, the window and the menu, doubled
# in size, with the parts named beside them.
annotate() {
    local in=$1 out=$2 x=$3 y=$4 w=$5 h=$6
    local font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
    local width=$(((x + w + 330) * 2)) height=$(((y + h + 150) * 2))
    local notes=$((x + w + 40))
    # Points (in screen pixels) and the text for each part.
    local parts=(
        "12 30|the tray icon: worst lateness of all cores, about every 3.2 s"
        "$((x + 30)) $((y + 10))|caption: the core"
        "$((x + 60)) $((y + 31))|graph: one column per 100 ms, full height at 94 ms late"
        "$((x + 120)) $((y + 10))|label: worst lateness of the last 15 events"
        "$((x + 112)) $((y + h + 44))|right-click menu: priority of the process and its threads"
    )
    local args=() i=0 part point text px py ty
    for part in "${parts[@]}"; do
        point=${part%%|*}
        text=${part#*|}
        px=${point% *}
        py=${point#* }
        ty=$((30 + i * 40))
        args+=(-stroke '#ffcc00' -draw "line $((px * 2)),$((py * 2)) $((notes * 2 - 6)),$((ty * 2 - 7))")
        args+=(-draw "circle $((px * 2)),$((py * 2)) $((px * 2 + 4)),$((py * 2))")
        args+=(-stroke none -annotate "+$((notes * 2))+$((ty * 2))" "$text")
        i=$((i + 1))
    done
    convert "$in" -crop "$((width / 2))x$((height / 2))+0+0" +repage -scale 200% \
        -strokewidth 2 -fill '#ffcc00' -font "$font" -pointsize 22 "${args[@]}" "$out"
}

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

# The priority menu, opened as a user would: a right-click low in the
# window, so the menu opens below it and the rows stay visible.
IFS=, read -r client_x client_y <<<"$(grep '^client_origin=' <<<"$window" | cut -d= -f2)"
IFS=, read -r client_w client_h <<<"$(grep '^client_size=' <<<"$window" | cut -d= -f2)"
xdotool mousemove "$((client_x + 8))" "$((client_y + client_h - 4))" click 3
sleep 1
menu_shot=$shots/vantrel-run-menu.png
import -window root "$menu_shot"
xdotool key Escape
annotated=$shots/vantrel-annotated.png
annotate "$menu_shot" "$annotated" "$client_x" "$client_y" "$client_w" "$client_h" || true

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
echo "With the priority menu open, annotated: $annotated"
