#!/usr/bin/env bash
# Starts the station on a virtual X display of its own, waits for the main window, grabs the
# screen and checks known pixels of the window. The screenshot stays at <png> for a look.
#   screenshot_test.sh <mv62-station> <screenshot_check> <png>
set -uo pipefail
station=$1
check=$2
png=$3

mkdir -p "$(dirname "$png")"
work=$(mktemp -d)
# The station reads no configuration file of this machine's, only those a test writes.
export XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/system-config
station_pid=
source "$(dirname "$0")/xvfb.sh"
cleanup() {
    [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
start_xvfb

"$station" >"$work/station.log" 2>&1 &
station_pid=$!

if ! find_station_window; then
    cat "$work/station.log" >&2
    exit 1
fi

status=0
"$check" "$png" "$X" "$Y" "$WIDTH" "$HEIGHT" || status=$?
if [ "$status" != 0 ]; then
    cat "$work/station.log" >&2
fi
exit "$status"
