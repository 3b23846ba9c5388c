# Sourced by the tests that run the real station: a virtual X display of their own and the
# station's window on it. Callers set `work` to a scratch directory first.

xvfb_pid=
# Starts Xvfb on a free display and exports DISPLAY; skips the test (77) without Xvfb/xdotool.
start_xvfb() {
    local tool
    for tool in Xvfb xdotool; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed" >&2
            exit 77
        fi
    done
    # Xvfb picks a free display and writes its number to fd 3 once it accepts connections.
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    local _
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
}

stop_xvfb() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}

# Waits for the station's window and sets X, Y, WIDTH, HEIGHT of its client area.
find_station_window() {
    local window
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "MV62 Calibration" | head -n 1)
    if [ -z "$window" ]; then
        echo "FAIL: the station window did not appear on $DISPLAY" >&2
        return 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
    echo "station window $window at $X,$Y size ${WIDTH}x$HEIGHT on $DISPLAY"
}

# Clicks the centre of a control given by its design geometry in window client coordinates.
click_control() {
    local left=$1 top=$2 width=$3 height=$4
    xdotool mousemove $((X + left + width / 2)) $((Y + top + height / 2)) click 1
}
