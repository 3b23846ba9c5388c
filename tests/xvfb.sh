# Sourced by the tests and the benchmarks that run the real station: a virtual X display of their
# own, the station's window on it, and its designed controls found by name. The tests set `work`
# to a scratch directory first; WINDOW_DESIGN names the window_design program where controls are
# found by name.

# xvfb_launch DIR NAME: starts Xvfb on a free display, its output in DIR/NAME.log, and sets
# XVFB_PID and XVFB_DISPLAY (":N") once it accepts connections; returns 1 when it does not start
# within 30 s (XVFB_PID is set either way, so that the caller can end it).
xvfb_launch() {
    local dir=$1 name=$2 _
    : >"$dir/$name.display"
    # Xvfb picks a free display and writes its number to fd 3 once it accepts connections.
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset \
        3>"$dir/$name.display" >"$dir/$name.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 300); do
        [ -s "$dir/$name.display" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    [ -s "$dir/$name.display" ] || return 1
    XVFB_DISPLAY=":$(head -n 1 "$dir/$name.display")"
}

xvfb_pid=
# Starts Xvfb for a test and exports DISPLAY; skips the test (77) without Xvfb or xdotool.
start_xvfb() {
    local tool
    for tool in Xvfb xdotool; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed" >&2
            exit 77
        fi
    done
    local started=0
    xvfb_launch "$work" xvfb || started=1
    xvfb_pid=$XVFB_PID
    if [ "$started" != 0 ]; then
        echo "FAIL: Xvfb did not start" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    export DISPLAY=$XVFB_DISPLAY
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

# The centre of a designed control as "x,y": on the screen, or relative to the window with
# X=0 Y=0.
centre_of() {
    local left top width height
    read -r left top width height < <("$WINDOW_DESIGN" "$1") || return 1
    echo "$((X + left + width / 2)),$((Y + top + height / 2))"
}

# Clicks the centre of a designed control.
click_control() {
    local point
    point=$(centre_of "$1") || return 1
    xdotool mousemove "${point%,*}" "${point#*,}" click 1
}
