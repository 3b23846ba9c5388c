#!/usr/bin/env bash
# Records under conditions a production line meets: a disk that is full or fills during a run,
# a device whose identification is hostile text, hostile files in the records folder, a large
# journal, two recovers at once, a folder that cannot be read. The real programs throughout.
#   records_faults_test.sh <mv62-station> <mv62-sim> <mv62-records> <scenario>
# Scenarios:
#   full-disk     a 1 MiB tmpfs (needs root; skipped with exit 77 otherwise), full before the run
#                 and filling during it: exit 5 with the system's reason, no empty or cut file, no
#                 temporary file, recover and csv -o fail cleanly, the earlier record untouched
#   hostile-text  control characters and formulas from the device, a host and a device path with
#                 %1: list, show, csv, html and the simulator's log show them as data
#   hostile-files a link to /dev/zero, a FIFO, a link to a folder and a 20 MiB file as records, a
#                 FIFO and /dev/zero as journals: named, passed over, quickly
#   large-journal a 70 MB journal: recover, html and --replay take a few MiB
#   recover-lock  two recovers at once write every run once; a held lock makes one give up
#   unreadable    a day folder the user cannot read is named, exit 1, the rest still listed
set -uo pipefail
station=$1
sim=$2
records=$3
scenario=$4

source "$(dirname "$0")/station_sim.sh"
disk=
# The tmpfs unmounted and every folder made removable before the scratch folder goes.
trap '[ -n "$disk" ] && umount "$disk"; chmod -R u+rwX "$work" 2>/dev/null; cleanup' EXIT
rec=$work/records

# make_record PATH [PYTHON-STATEMENTS]: a small run record, changed by the statements (on `r`).
make_record() {
    mkdir -p "$(dirname "$1")"
    python3 - "$1" "${2:-}" <<'PY'
import json, sys
r = {"schema": "mv62-run-record/1", "kind": "auto-test", "outcome": "PASS", "stopped_at": None,
     "reason": "lamp-step-3", "device": "MV62 SIM 1.0", "operator": "tech",
     "station": {"host": "bench", "program": "mv62-station", "version": "1.0.0", "port": "COM1",
                 "device_path": "/dev/ttyUSB0", "baud": 9600, "cashbox": False},
     "started": "2026-01-01T10:00:00.000+00:00", "finished": "2026-01-01T10:00:20.000+00:00",
     "duration_s": 20, "measurements": [], "failed": [], "journal": None, "journal_run": 1,
     "journal_ms": [0, 20000]}
exec(sys.argv[2])
json.dump(r, open(sys.argv[1], "w"), indent=4)
PY
}

# make_journal LINES PATH...: journals of a station killed in its run, LINES blocks received.
make_journal() {
    python3 - "$@" <<'PY'
import os, sys
n = int(sys.argv[1])
t = '"time":"2026-01-01T10:00:00.000+00:00"'
line = '{"bytes":"55 AA 02 16 3A 16 16 16 16 78 78 78 78 78 78","event":"rx","ms":%d,"n":15,%s}\n'
for path in sys.argv[2:]:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write('{"event":"link_opened","schema":"mv62-journal/1","program":"mv62-station",'
                '"port":"COM1","baud":9600,"ms":0,%s}\n{"event":"auto_test","ms":1,%s}\n' % (t, t))
        for start in range(0, n, 10000):
            f.write("".join(line % (2 + i, t) for i in range(start, min(n, start + 10000))))
PY
}

# peak_kb COMMAND...: runs it and prints its peak resident memory in KiB.
peak_kb() {
    python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
}

# No empty file, no temporary file, every record JSON and every journal whole lines of JSON.
check_files_whole() {
    python3 - "$1" <<'PY' || fail "files left empty, cut or temporary"
import json, os, sys
for folder, _, files in os.walk(sys.argv[1]):
    for name in files:
        path = os.path.join(folder, name)
        data = open(path, "rb").read()
        assert not name.startswith(".") or name == ".mv62-recover.lock", path
        assert data or name.startswith("."), "empty: " + path
        if name.endswith(".json"):
            json.loads(data)
        elif name.endswith(".jsonl"):
            assert data.endswith(b"\n"), "cut: " + path
            [json.loads(l) for l in data.splitlines()]
PY
}

case "$scenario" in
    full-disk)
        if [ "$(id -u)" != 0 ]; then
            echo "SKIPPED: mounting a small tmpfs needs root"
            exit 77
        fi
        mkdir "$work/disk"
        if ! mount -t tmpfs -o size=1m tmpfs "$work/disk"; then
            echo "SKIPPED: this machine refuses to mount a tmpfs"
            exit 77
        fi
        disk=$work/disk
        rec=$disk/records
        make_record "$rec/2026-01-01/earlier_auto-test_PASS.json"
        earlier=$(sha256sum "$rec/2026-01-01/earlier_auto-test_PASS.json")
        fill() {  # fill FREE_BYTES: leaves that much room on the disk
            rm -f "$disk/filler"
            local avail
            avail=$(df --output=avail -B1 "$disk" | tail -1)
            dd if=/dev/zero of="$disk/filler" bs=4096 count=$(((avail - $1) / 4096)) 2>/dev/null
        }
        start_sim
        # Full before the run; full once the run has begun (its journal takes some 15 KB). The
        # test is cut short after 2 s of its run: the record is written all the same.
        for free in 0 8192; do
            fill $free
            auto_test --records "$rec" --timeout 2
            [ "$status" = 5 ] || fail "free $free: exit $status, expected 5"
            grep -q '^outcome: INCOMPLETE' "$work/station.out" || fail "free $free: no outcome"
            [ "$(grep -c '^Records: cannot write the run record .*: No space left on device\.$' \
                "$work/station.err")" = 1 ] || fail "free $free: not one line with the reason"
            check_files_whole "$rec"
            [ "$(find "$rec" -name '*.json' | wc -l)" = 1 ] || fail "free $free: a record written"
        done
        [ "$(find "$rec" -name '*_journal.jsonl' | wc -l)" = 1 ] ||
            fail "expected only the journal that took lines"
        "$records" recover "$rec" >"$work/out" 2>"$work/err"
        [ $? = 1 ] && grep -q 'No space left on device' "$work/err" || fail "recover on a full disk"
        "$records" csv "$rec" -o "$disk/runs.csv" 2>"$work/err"
        [ $? = 1 ] && grep -q 'No space left on device' "$work/err" && [ ! -e "$disk/runs.csv" ] ||
            fail "csv -o on a full disk"
        check_files_whole "$rec"
        rm "$disk/filler"
        "$records" recover "$rec" >"$work/out" || fail "recover with room: exit $?"
        [ "$(grep -c '^recovered: ' "$work/out")" = 1 ] || fail "recover with room: $(cat "$work/out")"
        check_files_whole "$rec"
        [ "$(sha256sum "$rec/2026-01-01/earlier_auto-test_PASS.json")" = "$earlier" ] ||
            fail "the earlier record changed"
        ;;
    hostile-text)
        ident=$'=HYPERLINK("x")\e[2J\nA'
        start_sim --ident "$ident"
        auto_test --records "$rec" --timeout 2
        [ "$status" = 3 ] || fail "exit $status"
        grep -q $'\e' "$work/sim.log" "$work/station.out" && fail "a control character was logged"
        grep -qF '"=HYPERLINK("x")\x1b[2J\nA"' "$work/sim.log" || fail "the log does not show it"
        real=$(ls "$rec"/*/*_INCOMPLETE.json)
        for n in 1 2 3 4; do
            sed "s/20[0-9]\{6\}-/2000010$n-/" <<<"$(basename "$real")" >"$work/name"
            python3 - "$real" "$(dirname "$real")/$(cat "$work/name")" "$n" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
r["started"] = "2000-01-0%sT00:00:00.000+00:00" % sys.argv[3]
r["run_id"] = "00000000-0000-4000-8000-00000000000%s" % sys.argv[3]  # a run of its own
r["device"] = {"1": "-2+3", "2": "@SUM(A1)", "3": "\t=1", "4": "-5"}[sys.argv[3]]
r["station"]["host"], r["station"]["device_path"] = "st%5x", "usb-%1-port0"
for m in r["measurements"]:
    if m["name"] == "optics.sensor_offset":
        m["value"] = -5
json.dump(r, open(sys.argv[2], "w"))
PY
        done
        "$records" list "$rec" >"$work/list.out" || fail "list: exit $?"
        "$records" show "$real" >"$work/show.out" || fail "show: exit $?"
        "$records" show -2 "$rec" >"$work/show2.out" || fail "show -2: exit $?"
        "$records" csv "$rec" -o "$work/runs.csv" || fail "csv: exit $?"
        "$records" html -2 "$rec" -o "$work/run.html" || fail "html: exit $?"
        python3 - "$work" "$ident" <<'PY' || fail "hostile text"
import csv, sys
work, ident = sys.argv[1:3]
for name in ("list.out", "show.out", "show2.out"):
    text = open(work + "/" + name, "rb").read()
    assert not [b for b in text if b < 0x20 and b != 0x0A], name
lines = open(work + "/list.out").read().splitlines()
assert len(lines) == 5 and '=HYPERLINK("x")\\x1b[2J\\nA' in lines[0], lines
assert 'device:     =HYPERLINK("x")\\x1b[2J\\nA' in open(work + "/show.out").read()
show2 = open(work + "/show2.out").read()
assert "host:       st%5x, mv62-station" in show2
rows = list(csv.DictReader(open(work + "/runs.csv", newline="", encoding="utf-8")))
devices = [r["device"] for r in rows]  # oldest first
assert devices == ["'-2+3", "'@SUM(A1)", "'\t=1", "-5", "'" + ident], devices
assert all(r["optics.sensor_offset"] == "-5" for r in rows[:4]), [r["optics.sensor_offset"] for r in rows]
page = open(work + "/run.html", encoding="utf-8").read()
assert "COM1 (usb-%1-port0), 9600 baud" in page, "the port line"
PY
        ;;
    hostile-files)
        day=$rec/2026-01-01
        make_record "$day/a_auto-test_PASS.json"
        make_record "$day/b_auto-test_PASS.json" 'r["journal"] = "/dev/zero"'
        make_record "$day/c_auto-test_PASS.json" "r['journal'] = '$day/fifo_journal.jsonl'"
        ln -s /dev/zero "$day/zero.json"
        mkfifo "$day/fifo.json" "$day/fifo_journal.jsonl"
        ln -s "$work" "$day/folder.json"
        truncate -s 20M "$day/large.json"
        timeout 20 "$records" list "$rec" >"$work/out" 2>"$work/err"
        [ $? = 1 ] && [ "$(wc -l <"$work/out")" = 3 ] || fail "list: $(cat "$work/out" "$work/err")"
        for what in "zero.json: not a run record (a device" "fifo.json: not a run record (a FIFO" \
            "folder.json: not a run record (a folder" "large.json: not a run record (larger than 16 MiB"; do
            grep -qF "$what" "$work/err" || fail "list does not say $what"
        done
        timeout 20 "$records" show /dev/zero 2>"$work/err"
        [ $? = 1 ] && grep -q "not a run record (a device" "$work/err" || fail "show /dev/zero"
        for n in b c; do
            timeout 20 "$records" html "$day/${n}_auto-test_PASS.json" -o "$work/$n.html" ||
                fail "html with the journal $n: exit $?"
            grep -q "The session journal .* is not at hand" "$work/$n.html" || fail "html $n"
        done
        timeout 20 "$records" recover "$rec" >"$work/out" 2>"$work/err"
        [ $? = 1 ] && grep -q "fifo_journal.jsonl: a FIFO, not a file" "$work/err" || fail "recover"
        for journal in /dev/zero "$day/fifo_journal.jsonl"; do
            timeout 20 "$sim" --replay "$journal" 2>"$work/err"
            [ $? = 1 ] && grep -q "not a journal file" "$work/err" || fail "--replay $journal"
        done
        ;;
    large-journal)
        make_journal 500000 "$rec/2026-01-01/20260101-100000.000_MV62_journal.jsonl"
        [ "$(stat -c %s "$rec"/*/*.jsonl)" -gt 60000000 ] || fail "the journal is not large"
        # Under the sanitizers the commands still run whole; their memory is not judged.
        ceiling=65536
        [ -n "${MV62_SANITIZED:-}" ] && ceiling=$((1 << 30))
        kb=$(peak_kb "$records" recover "$rec") || fail "recover"
        [ "$kb" -lt $ceiling ] || fail "recover took $kb KiB"
        kb=$(peak_kb "$records" html -1 "$rec" -o "$work/run.html") || fail "html"
        [ "$kb" -lt $ceiling ] || fail "html took $kb KiB"
        grep -q "5000 lines from .* (and 495000 more there)" "$work/run.html" || fail "raw line"
        kb=$(peak_kb "$sim" --replay "$(ls "$rec"/*/*.jsonl)" --exit-after 0.1) || fail "replay"
        [ "$kb" -lt $ceiling ] || fail "--replay took $kb KiB"
        echo "peak memory $kb KiB (ceiling $ceiling) for a $(du -m "$rec"/*/*.jsonl | cut -f1) MB journal"
        ;;
    recover-lock)
        make_journal 20 $(printf "$rec/2026-01-01/20260101-1000%d.000_MV62_journal.jsonl " $(seq 10 39))
        "$records" recover "$rec" >"$work/r1" 2>&1 &
        first=$!
        "$records" recover "$rec" >"$work/r2" 2>&1
        wait $first
        cat "$work/r1" "$work/r2" >"$work/both"
        [ "$(grep -c '^recovered: ' "$work/both")" = 30 ] || fail "not 30 runs: $(cat "$work/both")"
        [ "$(find "$rec" -name '*.json' | wc -l)" = 30 ] || fail "not 30 records"
        exec 9>"$rec/.mv62-recover.lock"
        flock 9  # as a recover in progress holds it
        timeout 20 "$records" recover "$rec" 2>"$work/err"
        [ $? = 1 ] && grep -q "another recover is running in $rec" "$work/err" ||
            fail "recover beside a held lock: $(cat "$work/err")"
        exec 9>&-
        ;;
    unreadable)
        make_record "$rec/2026-01-01/a_auto-test_PASS.json"
        make_record "$rec/2026-01-02/b_auto-test_PASS.json"
        cp "$records" "$work/mv62-records"  # where an unprivileged user can run it
        chmod -R a+rX "$work"
        chmod 0 "$rec/2026-01-02"
        as_user=()
        [ "$(id -u)" = 0 ] && as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        for command in list csv; do
            "${as_user[@]}" "$work/mv62-records" "$command" "$rec" >"$work/out" 2>"$work/err"
            [ $? = 1 ] || fail "$command: exit not 1"
            grep -q "2026-01-02: cannot read this folder: Permission denied" "$work/err" &&
                grep -q "MV62 SIM 1.0" "$work/out" || fail "$command: $(cat "$work/out" "$work/err")"
        done
        ;;
    *)
        echo "unknown scenario $scenario" >&2
        exit 2
        ;;
esac
echo "PASS: $scenario"
