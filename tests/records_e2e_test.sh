#!/usr/bin/env bash
# The automatic test without a window, as a production line runs it: the real station with
# --auto-test against the MV62 simulator on a pseudo-terminal; exit code, printed lines, run
# record and session journal are checked.
#   records_e2e_test.sh <mv62-station> <mv62-sim> <scenario>
# Scenarios:
#   pass         exit 0, a PASS record whose every judged measurement passed
#   fail-eeprom  exit 1, eeprom failed and every other judged measurement passed
#   silent-14    the lamp test is never answered: exit 3 at the time-out, stopped at the lamp
#   killed       SIGKILL during the motor stage: the journal parses line by line up to the kill
#   unwritable   the records folder cannot be made (a file is in its way): one error, the test
#                still completes and passes, nothing is written, and the exit code says that the
#                unit was tested without a record
#   usage        a bad option (exit 2, one line naming it), a port that cannot be opened (exit 4)
set -uo pipefail
station=$1
sim=$2
scenario=$3

source "$(dirname "$0")/station_sim.sh"

# Checks the one run record and its journal under the records folder: check_record EXPECTED
# [STOPPED_AT]; every judged measurement passes except the ones in FAILED (comma list).
check_record() {
    python3 - "$work/records" "$1" "${2:-}" "${FAILED:-}" "$work/station.out" <<'PY' || fail "record check"
import glob, json, os, sys
root, outcome, stopped_at, failed, printed = sys.argv[1:6]
failed = [f for f in failed.split(",") if f]
records = glob.glob(os.path.join(root, "*", "*.json"))
assert len(records) == 1, records
path = records[0]
rec = json.load(open(path))
name = os.path.basename(path)
day = os.path.basename(os.path.dirname(path))
assert rec["schema"] == "mv62-run-record/2", rec["schema"]
assert len(rec["run_id"]) == 36 and rec["unit_serial"] is None and len(rec["plan_version"]) == 12
assert rec["kind"] == "auto-test"
assert rec["outcome"] == outcome, (rec["outcome"], outcome)
assert rec["stopped_at"] == (stopped_at or None), rec["stopped_at"]
assert rec["device"] == "MV62 SIM 1.0", rec["device"]
assert name.endswith("_MV62-SIM-1.0_auto-test_%s.json" % outcome), name
assert name[:8] == day.replace("-", ""), (name, day)
st = rec["station"]
assert st["port"] == "COM1" and st["baud"] == 9600 and st["program"] == "mv62-station", st
assert st["id"] == st["host"] and st["line"] is None and st["location"] is None, st
assert rec["operator"] and st["host"] and st["version"], rec
assert rec["duration_s"] > 5, rec["duration_s"]  # the chain's own waits alone take 5.5 s
names = [m["name"] for m in rec["measurements"]]
expected = ["optics.ch%d.%s" % (c, k) for k in ("corrected", "peak") for c in range(1, 7)]
expected += ["optics.sensor_offset", "optics.lens_count", "motor.rpm", "motor.encoder",
             "pulse", "fish", "eeprom", "io", "sw1", "sw2", "lamp"]
expected += ["exchange.s%d" % i for i in range(1, 7)]
assert names == expected, names
by = {m["name"]: m for m in rec["measurements"]}
for m in rec["measurements"]:
    assert set(m) == {"name", "value", "unit", "low", "high", "comparison", "passed"}, m
    if m["name"] in failed:
        assert m["passed"] is False, m
    elif m["comparison"] is not None and m["value"] is not None:
        assert m["passed"] is True, m
assert rec["failed"] == failed, rec["failed"]
assert by["motor.rpm"]["low"] == 3500 and by["motor.rpm"]["comparison"] == "exclusive"
assert by["optics.ch2.corrected"]["low"] == 46 and by["optics.ch2.corrected"]["high"] == 54
assert by["optics.ch1.peak"]["comparison"] == "at-least" and by["optics.ch1.peak"]["high"] is None
assert by["sw1"]["value"] == [1, 8, 10] and by["sw2"]["value"] == [1, 3], (by["sw1"], by["sw2"])
assert by["exchange.s1"]["value"] == 255 and by["optics.lens_count"]["value"] == 1234
assert by["lamp"]["value"] == ([0, 1, 2, 3] if outcome != "INCOMPLETE" else None), by["lamp"]
# The journal: one JSON object a line, the link from its opening to End Protocol.
events = [json.loads(line) for line in open(rec["journal"])]
kinds = [e["event"] for e in events]
assert kinds[0] == "link_opened" and kinds[-1] == "link_closed", (kinds[0], kinds[-1])
assert events[0]["schema"] == "mv62-journal/1"
assert events[0]["plan_version"] == rec["plan_version"] and events[0]["station_id"] == st["id"]
assert [e["run_id"] for e in events if e["event"] == "run_started"] == [rec["run_id"]]
assert "auto_test" in kinds and kinds.count("run_ended") == 1, kinds
ended = events[kinds.index("run_ended")]
assert ended["record"] == path and ended["outcome"] == outcome, ended
assert all(e["ms"] >= 0 and e["time"][10] == "T" for e in events)
assert [e["ms"] for e in events] == sorted(e["ms"] for e in events)
tx = [e["code"] for e in events if e["event"] == "tx" and not e.get("lone")]
chain = ["00", "02", "ED", "07", "08", "11", "12", "13", "15", "16", "14"]
assert tx[:len(chain)] == chain, tx
assert sum(e["n"] for e in events if e["event"] == "rx") > 400
# One printed line per measurement, then the outcome.
lines = open(printed).read().splitlines()
assert [l.split()[0] for l in lines[:len(expected)]] == expected, lines
assert lines[len(expected)].startswith("outcome: " + outcome), lines[len(expected)]
assert lines[len(expected) + 1] == "record: " + path, lines[len(expected) + 1]
print("record and journal as expected:", name)
PY
    validate_records "$work/records"
}

case "$scenario" in
    pass)
        start_sim
        auto_test --records "$work/records"
        [ "$status" = 0 ] || fail "exit $status, expected 0"
        check_record PASS
        ;;
    fail-eeprom)
        start_sim --fail eeprom
        auto_test --records "$work/records"
        [ "$status" = 1 ] || fail "exit $status, expected 1"
        FAILED=eeprom check_record FAIL
        ;;
    silent-14)
        start_sim --silent 14
        auto_test --records "$work/records" --timeout 15
        [ "$status" = 3 ] || fail "exit $status, expected 3"
        check_record INCOMPLETE lamp
        grep -q '^outcome: INCOMPLETE (stopped at lamp: timeout)$' "$work/station.out" ||
            fail "no INCOMPLETE line"
        ;;
    killed)
        start_sim
        kill_in_motor_stage "$work/records"
        python3 - "$work/records" <<'PY' || fail "journal after SIGKILL"
import glob, json, os, sys
root = sys.argv[1]
journals = glob.glob(os.path.join(root, "*", "*_journal.jsonl"))
assert len(journals) == 1, journals
assert not glob.glob(os.path.join(root, "*", "*.json")), "a record of a killed run"
data = open(journals[0], "rb").read()
lines = data.split(b"\n")
# Every line written whole parses; only a last line cut by the kill may not.
events = [json.loads(l) for l in lines[:-1]]
if lines[-1]:
    try:
        json.loads(lines[-1])
        raise AssertionError("last line without its newline")
    except ValueError:
        pass
kinds = [e["event"] for e in events]
assert kinds[0] == "link_opened", kinds[0]
assert "run_started" in kinds and "run_ended" not in kinds and "link_closed" not in kinds, kinds
assert any(e.get("command") == "motor test" for e in events), kinds
sensor = [e for e in events if e["event"] == "reply" and e["code"] == "26"]
passed = sensor[0]["passed"]
assert len(passed["optics.corrected"]) == 6 and all(passed["optics.corrected"] + passed["optics.peak"]), sensor
print("journal of", len(events), "whole lines up to the kill")
PY
        ;;
    unwritable)
        start_sim
        touch "$work/file"
        auto_test --records "$work/file/records"
        [ "$status" = 5 ] || fail "exit $status, expected 5: tested, but no record"
        [ "$(grep -c '^Records: ' "$work/station.err")" = 1 ] || fail "expected one records error"
        grep -q "^Records: cannot create the records folder $work/file/records/" \
            "$work/station.err" || fail "the error does not name the folder"
        grep -q '^outcome: PASS$' "$work/station.out" || fail "no PASS line"
        grep -q "^record: not written (cannot create the records folder $work/file/records/" \
            "$work/station.out" || fail "no 'not written' line with the reason"
        [ -f "$work/file" ] && [ ! -s "$work/file" ] || fail "the file in the way was changed"
        ;;
    usage)
        "$station" --auto-test --speed 1200 >"$work/station.out" 2>"$work/station.err"
        status=$?
        [ "$status" = 2 ] || fail "bad speed: exit $status, expected 2"
        [ "$(wc -l <"$work/station.err")" = 1 ] && grep -q -- "--speed" "$work/station.err" ||
            fail "bad speed: not one line naming --speed"
        "$station" --bogus >/dev/null 2>"$work/station.err"
        [ $? = 2 ] && grep -q "bogus" "$work/station.err" || fail "unknown option"
        MV62_COM1="$work/nothing-here" "$station" --auto-test --records "$work/records" \
            >"$work/station.out" 2>"$work/station.err"
        status=$?
        [ "$status" = 4 ] || fail "missing port: exit $status, expected 4"
        grep -q "^COM1 ($work/nothing-here) does not exist\. .*MV62_COM1=" \
            "$work/station.err" || fail "missing port: not the window's message"
        ;;
    *)
        echo "unknown scenario $scenario" >&2
        exit 2
        ;;
esac
echo "PASS: $scenario"
