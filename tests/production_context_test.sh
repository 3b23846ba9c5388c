#!/usr/bin/env bash
# Which unit, which station, who, on the real programs: the station with its configuration file
# and a unit serial, headless against the simulator and as a window on Xvfb driven by X input,
# the serial typed the way a barcode scanner types it.
#   production_context_test.sh <mv62-station> <mv62-sim> <window_design> <mv62-records> <scenario>
# Scenarios:
#   config-faults    a malformed file, an unknown key, a bad value: one line naming the file and
#                    the key, exit code 2, nothing of the file applied; the window shows the
#                    error instead of opening and ends with exit code 2
#   headless-serial  --auto-test --serial with the station's id, line and records folder from the
#                    user's configuration file
#   serial-scanned   a window configured to ask for the operator and the serial: both typed and
#                    ended with Enter; the automatic test runs
#   serial-withdrawn Escape in the serial prompt of Auto Test and of CALIBRATION: nothing is sent
#   serial-refused   blanks, then 65 characters, are refused in the prompt, which stays open;
#                    the next prompt starts empty and takes a good serial
set -uo pipefail
station=$1
sim=$2
WINDOW_DESIGN=$3
reader=$4
scenario=$5

source "$(dirname "$0")/station_sim.sh"
source "$(dirname "$0")/xvfb.sh"
trap 'cleanup; stop_xvfb' EXIT

# Qt warns on standard error when a user has no runtime folder; the error lines are counted there.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
user_config=$XDG_CONFIG_HOME/mv62-station/station.conf
mkdir -p "$(dirname "$user_config")"
records=$work/records

# Polls up to 20 s for a condition (a command).
wait_for() {
    for _ in $(seq 1 200); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
sent() { grep -c "rx 55 AA $1" "$work/sim.log"; }
journal_events() { cat "$records"/*/*_journal.jsonl 2>/dev/null | grep -c "\"event\":\"$1\""; }

# The window against the simulator: started with the options given, its link started, the
# device identified.
start_window() {
    start_sim
    MV62_COM1="$work/com1" "$station" "$@" >"$work/station.out" 2>"$work/station.err" &
    station_pid=$!
    find_station_window || fail "no station window"
}
start_link() {
    click_control Button3  # Start Protocol
    timeout 20 xdotool search --sync --name "MV62 Calibration v2.68c  - " >/dev/null ||
        fail "no identification after Start Protocol"
}
# Waits for the prompt named $1 and sets `prompt` to its window.
find_prompt() {
    prompt=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    [ -n "$prompt" ] || fail "no prompt \"$1\""
}
prompt_gone() { ! xdotool search --onlyvisible --name "^Unit serial number\$" >/dev/null; }
prompt_height() { xdotool getwindowgeometry --shell "$prompt" | sed -n 's/^HEIGHT=//p'; }
# Types a text into whatever has the keyboard focus and ends it with Enter, as a scanner does.
scan() { xdotool type --delay 5 "$1" && xdotool key Return; }
# Enter on a text the prompt must refuse: it stays open and grows by the line that says why.
expect_refused() {
    local before
    before=$(prompt_height)
    scan "$1"
    wait_for eval '[ "$(prompt_height)" -gt "$before" ]' ||
        fail "\"$1\" was not refused with a reason in the prompt"
}
# End Protocol, and its stop command seen by the simulator: every command sent before it is in
# the simulator's log by then.
end_link() {
    local before
    before=$(sent ED)
    click_control Button4
    wait_for eval '[ "$(sent ED)" -gt "$before" ]' || fail "End Protocol sent no 55 AA ED"
}

case "$scenario" in
    config-faults)
        check_refused() {  # FILE_TEXT KEY_TEXT
            printf '%b' "$1" >"$user_config"
            MV62_COM1="$work/no-port" "$station" --auto-test >"$work/station.out" \
                2>"$work/station.err"
            status=$?
            [ "$status" = 2 ] || fail "exit $status for $2, expected 2"
            [ "$(wc -l <"$work/station.err")" = 1 ] || fail "not one line for $2"
            grep -qF "mv62-station: $user_config: $2" "$work/station.err" ||
                fail "the line does not name the file and $2: $(cat "$work/station.err")"
            [ ! -s "$work/station.out" ] || fail "printed on standard output for $2"
            # The good keys before the fault were not applied: no records folder was made.
            [ ! -e "$records" ] || fail "records folder made from a refused file"
        }
        check_refused "[records]\nfolder=$records\n[station]\nid BENCH-07\n" 'line 4: "id BENCH-07"'
        check_refused "[records]\nfolder=$records\n[station]\nbench=7\n" "[station] bench: unknown key"
        check_refused "[records]\nfolder=$records\nask_serial=maybe\n" \
            '[records] ask_serial: "maybe" is not true or false'
        # --config names the file, which must then be there.
        "$station" --auto-test --config "$work/none.conf" >/dev/null 2>"$work/station.err"
        [ $? = 2 ] && grep -qxF "mv62-station: $work/none.conf: does not exist" \
            "$work/station.err" || fail "--config of a missing file: $(cat "$work/station.err")"

        # The window: the standard error display, and no station window behind it.
        start_xvfb
        "$station" >"$work/station.out" 2>"$work/station.err" &
        station_pid=$!
        timeout 20 xdotool search --sync --onlyvisible --name "^mv62-station\$" >/dev/null ||
            fail "no error message box"
        ! xdotool search --name "MV62 Calibration" >/dev/null || fail "the window opened"
        xdotool key Return
        wait "$station_pid"
        status=$?
        station_pid=
        [ "$status" = 2 ] || fail "the window ended with $status, expected 2"
        [ "$(wc -l <"$work/station.err")" = 1 ] &&
            grep -qF "mv62-station: $user_config: [records] ask_serial:" "$work/station.err" ||
            fail "the window's error line: $(cat "$work/station.err")"
        ;;
    headless-serial)
        printf '[station]\nid=BENCH-07\nline=L2\n[records]\nfolder=%s\n' "$records" \
            >"$user_config"
        start_sim
        auto_test --serial " SN-4711 " --operator "Ann Smith"
        [ "$status" = 0 ] || fail "exit $status, expected 0"
        grep -qx "serial: SN-4711" "$work/station.out" || fail "the serial is not printed"
        python3 - "$records" "$work/station.out" <<'PY' || fail "record"
import glob, json, os, sys
records = glob.glob(os.path.join(sys.argv[1], "*", "*_auto-test_PASS.json"))
assert len(records) == 1, records
assert "record: " + records[0] in open(sys.argv[2]).read().splitlines()
rec = json.load(open(records[0]))
assert rec["operator"] == "Ann Smith", rec["operator"]
assert rec["unit_serial"] == "SN-4711" and "_SN-4711_" in os.path.basename(records[0]), rec
st = rec["station"]
assert (st["id"], st["line"], st["location"]) == ("BENCH-07", "L2", None), st
print("recorded into the configured folder:", os.path.basename(records[0]))
PY
        validate_records "$records"
        "$reader" csv "$records" --serial SN-4711 --station BENCH-07 --line L2 -o "$work/runs.csv" ||
            fail "csv: exit $?"
        python3 - "$work/runs.csv" <<'PY' || fail "the CSV row"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], newline="", encoding="utf-8")))
assert len(rows) == 1, rows
row = rows[0]
assert (row["unit_serial"], row["station"], row["line"], row["operator"]) == (
    "SN-4711", "BENCH-07", "L2", "Ann Smith"), row
assert len(row["run_id"]) == 36 and row["outcome"] == "PASS", row
PY
        [ "$("$reader" list "$records" --serial SN-9999 | wc -l)" = 0 ] ||
            fail "list --serial chose another unit's run"
        ;;
    serial-scanned)
        printf '[records]\nfolder=%s\nask_serial=true\nask_operator=true\n' "$records" \
            >"$user_config"
        start_xvfb
        start_window
        find_prompt Operator
        scan "Ann Smith"
        start_link
        click_control Button7  # Auto Test
        find_prompt "Unit serial number"
        scan "SN-0001"
        wait_for eval '[ "$(sent 02)" -gt 0 ]' || fail "Auto Test sent no 55 AA 02 after the serial"
        wait_for eval '[ "$(journal_events auto_test)" = 1 ]' || fail "no auto_test in the journal"
        grep -q '"event":"link_opened".*"operator":"Ann Smith"' "$records"/*/*_journal.jsonl ||
            fail "the journal does not name the operator typed"
        grep -q '"event":"run_started".*"unit_serial":"SN-0001"' "$records"/*/*_journal.jsonl ||
            fail "the journal does not name the serial scanned"
        ;;
    serial-withdrawn)
        start_xvfb
        start_window --records "$records" --ask-serial
        start_link
        for button in Button7 BtnCalibStar; do  # Auto Test, CALIBRATION
            click_control "$button"
            find_prompt "Unit serial number"
            xdotool key Escape
            wait_for prompt_gone || fail "Escape did not close the prompt of $button"
        done
        end_link
        [ "$(sent 02)" = 0 ] || fail "a withdrawn press sent 55 AA 02"
        [ "$(journal_events auto_test)" = 0 ] && [ "$(journal_events calibration)" = 0 ] ||
            fail "a withdrawn press is in the journal"
        ;;
    serial-refused)
        start_xvfb
        start_window --records "$records" --ask-serial
        start_link
        click_control Button7
        find_prompt "Unit serial number"
        expect_refused "   "
        xdotool key Escape
        wait_for prompt_gone || fail "Escape did not close the prompt"
        click_control Button7
        find_prompt "Unit serial number"
        expect_refused "$(printf 'S%.0s' $(seq 65))"
        xdotool key Escape
        wait_for prompt_gone || fail "Escape did not close the prompt"
        [ "$(sent 02)" = 0 ] || fail "a refused serial let Auto Test start"
        # Were the 65 characters still in the field, this serial would be refused as well.
        click_control Button7
        find_prompt "Unit serial number"
        scan "SN-0003"
        wait_for eval '[ "$(sent 02)" = 1 ]' || fail "a good serial did not start Auto Test"
        wait_for eval '[ "$(journal_events auto_test)" = 1 ]' || fail "no auto_test in the journal"
        ;;
    *)
        echo "unknown scenario $scenario" >&2
        exit 2
        ;;
esac
echo "PASS: $scenario"
