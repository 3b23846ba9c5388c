#!/usr/bin/env bash
# End to end: the real station on a virtual X display, its COM1 wired to the MV62 simulator, driven
# by real X input at the window's design coordinates.
#   e2e_test.sh <mv62-station> <mv62-sim> <screen_pixels> <window_design> <png> <scenario>
# Scenarios:
#   pass         Start Protocol, Auto Test to lamp step 3: every indicator green; End Protocol
#                puts 55 AA ED on the line
#   fail-eeprom  the same against a device whose EEPROM fails: only the EEPROM indicator is red;
#                the station records (--records), and its run record's verdicts are the colours
#                on the screen
#   noise-split  noise between frames and frames in pieces: the same result as "pass"
#   unplug       the simulator dies during the sensor stage: one disconnect error, no crash, and
#                the station stays near idle
set -uo pipefail
station=$1
sim=$2
pixels=$3
WINDOW_DESIGN=$4
png=$5
scenario=$6

mkdir -p "$(dirname "$png")"
work=$(mktemp -d)
# The station reads no configuration file of this machine's, only those a test writes.
export XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/system-config
station_pid=
sim_pid=
source "$(dirname "$0")/xvfb.sh"
cleanup() {
    [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- simulator log (last lines)" >&2
    tail -n 40 "$work/sim.log" >&2
    echo "--- station log" >&2
    cat "$work/station.log" >&2
    exit 1
}

sim_options=()
station_options=()
case "$scenario" in
    pass | unplug) ;;
    fail-eeprom) sim_options=(--fail eeprom) station_options=(--records "$work/records") ;;
    noise-split) sim_options=(--noise --split --seed 7) ;;
    *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

start_xvfb
"$sim" --link "$work/com1" "${sim_options[@]}" >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 1 100); do [ -e "$work/com1" ] && break; sleep 0.1; done
[ -e "$work/com1" ] || fail "the simulator did not start"

MV62_COM1="$work/com1" "$station" "${station_options[@]}" >"$work/station.log" 2>&1 &
station_pid=$!
find_station_window || fail "no station window"

# Screen points of the indicator rows the window builds at run time (MaxLamp, CalibLamp): the
# centre of a 17 x 17 circle at (left, top) in the status panel.
read -r panel_x panel_y _ < <("$WINDOW_DESIGN" Panel2)
point() { echo "$((X + panel_x + $1 + 8)),$((Y + panel_y + $2 + 8))"; }
color_at() { "$pixels" "$@"; }

click_control Button3  # Start Protocol
# The device identification extends the caption once the link runs.
timeout 20 xdotool search --sync --name "MV62 Calibration v2.68c  - " >/dev/null ||
    fail "no identification reply after Start Protocol"
# Give the offset and exchange-sensor replies that follow the identification time to arrive, as a
# technician would: only the latest frame of each receive event is applied.
sleep 1

click_control Button7  # Auto Test

if [ "$scenario" = unplug ]; then
    sleep 1
    kill -9 "$sim_pid"
    wait "$sim_pid" 2>/dev/null
    sim_pid=
    sleep 2
    kill -0 "$station_pid" 2>/dev/null || fail "the station ended when the device went away"
    errors=$(xdotool search --onlyvisible --name "^mv62-station$" 2>/dev/null | wc -l)
    [ "$errors" = 1 ] || fail "expected one disconnect error window, found $errors"
    # No busy loop: processor time over three seconds stays far below one core.
    ticks() { awk '{print $14 + $15}' "/proc/$station_pid/stat"; }
    before=$(ticks)
    sleep 3
    used=$(($(ticks) - before))
    hz=$(getconf CLK_TCK)
    echo "station used $used ticks of $((3 * hz)) in 3 s after the device went away"
    [ "$used" -lt $((3 * hz / 4)) ] || fail "the station keeps the processor busy ($used ticks)"
    "$pixels" --save "$png" 0,0 >/dev/null
    echo "PASS: $scenario"
    exit 0
fi

# The chain is over at lamp step 3: blue, red, green (step 2 shows all three green).
lamps=("$(centre_of Shape7)" "$(centre_of Shape11)" "$(centre_of Shape12)")
done=0
for _ in $(seq 1 120); do
    if [ "$(color_at "${lamps[@]}" | tr '\n' ' ')" = "#0000FF #FF0000 #00FF00 " ]; then
        done=1
        break
    fi
    sleep 1
done
[ "$done" = 1 ] || fail "the automatic test did not reach lamp step 3"

# Every indicator, with the colour it must show and the measurement of a run record it shows.
names=() points=() expected=() measurements=()
expect() { names+=("$1"); points+=("$2"); expected+=("$3"); measurements+=("${4:-}"); }
for i in 0 1 2 3 4 5; do
    expect "MaxLamp[$i]" "$(point $((136 + 25 * i)) 32)" "#00FF00" "optics.ch$((i + 1)).peak"
    expect "CalibLamp[$i]" "$(point $((136 + 25 * i)) 56)" "#00FF00" "optics.ch$((i + 1)).corrected"
done
expect "Motor RPM" "$(centre_of Shape4)" "#00FF00" motor.rpm
expect "ENC" "$(centre_of Shape5)" "#00FF00" motor.encoder
expect "Pulse" "$(centre_of Shape6)" "#00FF00" pulse
expect "FISH_SEN" "$(centre_of Shape8)" "#00FF00" fish
if [ "$scenario" = fail-eeprom ]; then
    expect "EEPROM" "$(centre_of Shape9)" "#FF0000" eeprom
else
    expect "EEPROM" "$(centre_of Shape9)" "#00FF00" eeprom
fi
expect "I/O" "$(centre_of Shape10)" "#00FF00" io
expect "PILOT LAMP 1" "$(centre_of Shape7)" "#0000FF"
expect "PILOT LAMP 2" "$(centre_of Shape11)" "#FF0000"
expect "PILOT LAMP 3" "$(centre_of Shape12)" "#00FF00"

mapfile -t seen < <("$pixels" --save "$png" "${points[@]}")
bad=0
for i in "${!names[@]}"; do
    if [ "${seen[$i]:-none}" != "${expected[$i]}" ]; then
        echo "  ${names[$i]} at ${points[$i]}: ${seen[$i]:-none}, expected ${expected[$i]}" >&2
        bad=1
    fi
done
[ "$bad" = 0 ] || fail "indicators differ (screenshot: $png)"
echo "all ${#names[@]} indicators as expected"

# End Protocol puts 55 AA ED on the line.
before=$(grep -c 'rx 55 AA ED' "$work/sim.log")
click_control Button4  # End Protocol
for _ in $(seq 1 100); do
    [ "$(grep -c 'rx 55 AA ED' "$work/sim.log")" -gt "$before" ] && break
    sleep 0.1
done
[ "$(grep -c 'rx 55 AA ED' "$work/sim.log")" -gt "$before" ] || fail "End Protocol sent no 55 AA ED"
timeout 10 xdotool search --sync --name "^MV62 Calibration v2.68c $" >/dev/null ||
    fail "the caption was not restored by End Protocol"

if [ "${#station_options[@]}" -gt 0 ]; then
    # The run record judged what the screen showed: green is passed, red is failed.
    for i in "${!names[@]}"; do
        [ -n "${measurements[$i]}" ] && echo "${measurements[$i]} ${seen[$i]}"
    done >"$work/screen.txt"
    python3 - "$work/records" "$work/screen.txt" <<'PY' || fail "the run record differs from the screen"
import glob, json, os, sys
records = glob.glob(os.path.join(sys.argv[1], "*", "*_auto-test_*.json"))
assert len(records) == 1, records
rec = json.load(open(records[0]))
by = {m["name"]: m for m in rec["measurements"]}
colour = {True: "#00FF00", False: "#FF0000"}
for line in open(sys.argv[2]):
    name, seen = line.split()
    assert colour[by[name]["passed"]] == seen, (name, by[name], seen)
judged = [m["name"] for m in rec["measurements"] if m["passed"] is not None]
assert len(judged) == 18, judged
assert rec["outcome"] == ("FAIL" if rec["failed"] else "PASS"), rec["outcome"]
print("run record agrees with the %d indicators: %s, failed %s" % (len(judged), rec["outcome"], rec["failed"]))
PY
fi
echo "PASS: $scenario"
