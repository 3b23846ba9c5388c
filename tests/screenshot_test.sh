#!/usr/bin/env bash
# Starts the station on a virtual X display of its own, waits for the main window, grabs the
# screen and checks known pixels of the window. The screenshot stays at <png> for a look.
#   screenshot_test.sh <mv62-station> <screenshot_check> <png>
set -uo pipefail
station=$1
check=$2
png=$3

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed" >&2
        exit 77
    fi
done

mkdir -p "$(dirname "$png")"
work=$(mktemp -d)
xvfb_pid=
station_pid=
cleanup() {
    [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to fd 3 once it accepts connections.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 300); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "FAIL: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"
export QT_QPA_PLATFORM=xcb

"$station" >"$work/station.log" 2>&1 &
station_pid=$!

window=$(timeout 60 xdotool search --sync --onlyvisible --name "MV62 Calibration" | head -n 1)
if [ -z "$window" ]; then
    echo "FAIL: the station window did not appear on $DISPLAY" >&2
    cat "$work/station.log" >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the client area
echo "station window $window at $X,$Y size ${WIDTH}x$HEIGHT on $DISPLAY"

status=0
"$check" "$png" "$X" "$Y" "$WIDTH" "$HEIGHT" || status=$?
if [ "$status" != 0 ]; then
    cat "$work/station.log" >&2
fi
exit "$status"
