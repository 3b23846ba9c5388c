#!/usr/bin/env bash
# The records of a line in one place, on the real programs: two benches record automatic tests
# (the station headless against the simulator, with their own configuration), their folders grow
# by copies of those records as a busy line's would, and then
#   postgres  a PostgreSQL cluster of the test's own is filled from both folders at once; a sync
#             is killed with SIGKILL while it sends; a watching sync sees its server stopped and
#             started again while records keep coming, and ends at SIGTERM; a file that is not a
#             record is named once and passed over; a wrong password and a newer schema are
#             refused. Then every run is there exactly once, and the database answers list, csv,
#             show and html as the folders do, narrowed with --station and --line.
#   index     the same on the folders' own indexes: readers run while a station records, an index
#             update is killed with SIGKILL, and the index still answers as the files do, before
#             and after it is rebuilt.
#   line_database_test.sh <mv62-station> <mv62-sim> <mv62-records> <postgres|index>
set -uo pipefail
station=$1
sim=$2
records=$3
scenario=$4

source "$(dirname "$0")/station_sim.sh"
source "$(dirname "$0")/pg_cluster.sh"
export PATH=/usr/sbin:/sbin:$PATH  # runuser

# Whatever the test started in the background ends with it, even when it fails half way: a bench
# with its simulator and station, a sync that watches.
kill_tree() {
    local child
    for child in $(pgrep -P "$1"); do kill_tree "$child"; done
    kill "$1" 2>/dev/null
}
eval "test_$(declare -f cleanup)"
cleanup() {
    local job
    for job in $(jobs -p); do kill_tree "$job"; done
    test_cleanup
}

# record BENCH LINE SEED N: N automatic tests on bench BENCH of line LINE, each unit a serial of
# its own, into $work/BENCH; the simulator a population of units from SEED.
record() {
    local bench=$1 line=$2 seed=$3 n=$4 i
    printf '[station]\nid=%s\nline=%s\n' "$bench" "$line" >"$work/$bench.conf"
    "$sim" --link "$work/$bench.tty" --population --seed "$seed" \
        >"$work/$bench.sim.out" 2>"$work/$bench.sim.log" &
    local sim_of_bench=$!
    for _ in $(seq 1 100); do [ -e "$work/$bench.tty" ] && break; sleep 0.1; done
    for i in $(seq 1 "$n"); do
        MV62_COM1="$work/$bench.tty" "$station" --auto-test --records "$work/$bench" \
            --config "$work/$bench.conf" --serial "$bench-SN-$i" \
            >>"$work/$bench.out" 2>>"$work/$bench.err"
        case $? in 0 | 1) ;; *) fail "$bench run $i: exit $? ($(tail -n 3 "$work/$bench.err"))" ;; esac
    done
    kill "$sim_of_bench" && wait "$sim_of_bench" 2>/dev/null
}

# grow FOLDER N: N more runs in FOLDER, copies of its recorded runs with their own run id,
# serial and start (one a minute back from a year ago), each written whole and then renamed
# into place as the station does.
grow() {
    python3 - "$@" <<'PY'
import datetime, json, os, random, sys, uuid
folder, n = sys.argv[1], int(sys.argv[2])
real = []
for day in sorted(os.listdir(folder)):
    if day[0] != ".":
        real += [os.path.join(folder, day, f) for f in sorted(os.listdir(os.path.join(folder, day)))
                 if f.endswith(".json")]
rng = random.Random()  # each call its own runs
base = datetime.datetime(2025, 12, 1, 8, tzinfo=datetime.timezone.utc)
for i in range(n):
    r = json.load(open(real[i % len(real)]))
    start = base + datetime.timedelta(minutes=rng.randrange(500000))
    r["run_id"] = str(uuid.UUID(int=rng.getrandbits(128), version=4))
    r["unit_serial"] = "%s-G%05d" % (r["station"]["id"], i)
    r["started"] = start.isoformat(timespec="milliseconds")
    r["finished"] = (start + datetime.timedelta(seconds=9)).isoformat(timespec="milliseconds")
    for m in r["measurements"]:
        if isinstance(m.get("value"), (int, float)) and not isinstance(m["value"], bool):
            m["value"] += rng.choice((-1, 0, 1))
    day = os.path.join(folder, start.strftime("%Y-%m-%d"))
    os.makedirs(day, exist_ok=True)
    name = "%s_%s_MV62-SIM-1.0_auto-test_%s.json" % (
        start.strftime("%Y%m%d-%H%M%S.%f")[:-3], r["unit_serial"], r["outcome"])
    with open(os.path.join(day, ".partial"), "w") as f:
        json.dump(r, f)
    os.rename(os.path.join(day, ".partial"), os.path.join(day, name))
PY
}

# The run ids of the record files under the folders given, one a line, sorted.
run_ids_of_files() {
    python3 - "$@" <<'PY'
import json, os, sys
ids = []
for folder in sys.argv[1:]:
    for top, dirs, files in os.walk(folder):
        dirs[:] = [d for d in dirs if not d.startswith(".")]
        for f in files:
            if f.endswith(".json") and not f.startswith("."):
                try:
                    ids.append(json.load(open(os.path.join(top, f)))["run_id"])
                except (ValueError, KeyError):
                    pass
print("\n".join(sorted(ids)))
PY
}

# The run ids a CSV of runs holds (the first column), sorted.
run_ids_of_csv() {
    python3 -c 'import csv, sys
print("\n".join(sorted(r["run_id"] for r in csv.DictReader(open(sys.argv[1], newline="")))))' "$1"
}

# The runs the line's database holds (0 before it has its tables).
runs_in_db() {
    pg_sql "SELECT count(*) FROM runs" 2>/dev/null || echo 0
}
db_holds_more_than() { [ "$(runs_in_db)" -gt "$1" ]; }
db_holds() { [ "$(runs_in_db)" = "$1" ]; }

# Polls up to 60 s for a condition (a command).
wait_for() {
    for _ in $(seq 1 600); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Two benches of line L1 record side by side; each folder grows to a busy line's.
record BENCH-A L1 11 2 &
record_a=$!
record BENCH-B L1 12 2
wait "$record_a" || fail "bench A did not record"
a=$work/BENCH-A
b=$work/BENCH-B
grow "$a" 3000
grow "$b" 3000
# The line seen as one folder: what every answer of the line is compared with.
all=$work/all
mkdir "$all" && cp -r "$a"/. "$b"/. "$all"/
rm -f "$all"/.mv62-index.sqlite*

case "$scenario" in
    postgres)
        pg_start "$work/pg"
        db=$pg_uri
        # A sync killed while it sends: what it committed stays, the rest follows once.
        "$records" sync "$a" --database "$db" >"$work/killed.out" 2>"$work/killed.err" &
        killed=$!
        wait_for db_holds_more_than 0 ||
            fail "the first sync sent nothing: $(cat "$work/killed.err")"
        kill -KILL "$killed"
        wait "$killed" 2>/dev/null
        db_holds_more_than 3001 && echo "note: the sync had sent everything before it was killed"
        # Both benches at once.
        "$records" sync "$a" --database "$db" >"$work/a.out" 2>"$work/a.err" &
        sync_a=$!
        "$records" sync "$b" --database "$db" >"$work/b.out" 2>"$work/b.err" ||
            fail "sync B: exit $? $(cat "$work/b.err")"
        wait "$sync_a" || fail "sync A: exit $? $(cat "$work/a.err")"
        grep -q "sent .* run(s)" "$work/a.out" || fail "sync A says: $(cat "$work/a.out")"

        # A watching sync: the server goes away and comes back while a bench keeps recording.
        "$records" sync "$b" --database "$db" --watch >"$work/watch.out" 2>"$work/watch.err" &
        watch=$!
        grow "$b" 1
        wait_for db_holds 6005 ||
            fail "the new record was not sent: $(cat "$work/watch.err")"
        pg_stop
        grow "$b" 20
        mkdir -p "$b/2026-01-01"
        printf '{"schema": "mv62-run-record/2", "run_id": ' >"$b/2026-01-01/cut_auto-test_PASS.json"
        wait_for grep -q "records wait in the folder" "$work/watch.err" ||
            fail "the watch did not say the database went: $(cat "$work/watch.err")"
        pg_start
        wait_for grep -q "is back" "$work/watch.err" ||
            fail "the watch did not say the database is back: $(cat "$work/watch.err")"
        wait_for db_holds 6025 || fail "the watch did not send the backlog: $(runs_in_db)"
        kill -TERM "$watch"
        wait "$watch"
        status=$?
        [ "$status" = 0 ] || fail "the watch ended with $status at SIGTERM: $(cat "$work/watch.err")"
        [ "$(grep -c "cut_auto-test_PASS.json" "$work/watch.err")" = 1 ] ||
            fail "the cut record was not named once: $(cat "$work/watch.err")"
        rm "$b/2026-01-01/cut_auto-test_PASS.json"

        # Every run exactly once, every measurement with it.
        cp -r "$b"/. "$all"/
        rm -f "$all"/.mv62-index.sqlite* "$all/2026-01-01/cut_auto-test_PASS.json"
        run_ids_of_files "$a" "$b" >"$work/files.ids"
        pg_sql "SELECT run_id FROM runs ORDER BY run_id" >"$work/db.ids"
        cmp -s "$work/files.ids" "$work/db.ids" ||
            fail "the database's runs are not the folders': $(diff "$work/files.ids" "$work/db.ids" | head -5)"
        [ "$(pg_sql "SELECT count(*) FROM runs r WHERE NOT EXISTS (SELECT 1 FROM measurements m WHERE m.run_id = r.run_id)")" = 0 ] ||
            fail "runs without their measurements"
        [ "$(pg_sql "SELECT string_agg(id || '/' || line, ' ' ORDER BY id) FROM stations")" = "BENCH-A/L1 BENCH-B/L1" ] ||
            fail "stations: $(pg_sql "SELECT * FROM stations")"

        # The database answers as the folders do; only where a record's file is differs (the
        # database names it within its bench's folder).
        for args in "csv" "list" "csv --since 2026-03-01 --until 2026-03-31" "list --limit 50" \
            "list --outcome FAIL" "show -1" "html -3" "stats --format csv"; do
            "$records" $args --database "$db" >"$work/db.out" 2>"$work/db.err" ||
                fail "$args --database: exit $? $(cat "$work/db.err")"
            "$records" $args "$all" >"$work/folder.out" 2>"$work/folder.err"
            sed -i '/^record: /d' "$work/db.out" "$work/folder.out"
            cmp -s "$work/db.out" "$work/folder.out" ||
                fail "$args differs: $(diff "$work/db.out" "$work/folder.out" | head -6)"
        done
        "$records" csv --database "$db" --station BENCH-A >"$work/db.out" &&
            "$records" csv "$a" >"$work/folder.out" && cmp -s "$work/db.out" "$work/folder.out" ||
            fail "csv --station differs from the bench's folder"
        [ "$("$records" list --database "$db" --line L2 | wc -l)" = 0 ] || fail "--line L2"

        # Nothing is sent twice; a newer schema and a wrong password are refused.
        "$records" sync "$a" --database "$db" >"$work/again.out" || fail "sync again"
        grep -q "nothing to send" "$work/again.out" || fail "sync again: $(cat "$work/again.out")"
        pg_sql "UPDATE mv62_schema SET version = version + 1"
        for command in "sync $a" "list"; do
            "$records" $command --database "$db" 2>"$work/newer.err" >/dev/null
            status=$?
            [ "$status" = 1 ] && grep -q "has schema version 2; this program knows up to 1" \
                "$work/newer.err" || fail "$command on a newer schema: $status $(cat "$work/newer.err")"
        done
        pg_sql "UPDATE mv62_schema SET version = version - 1"
        echo "*:*:*:mv62:not-the-password" >"$work/wrong"
        chmod 600 "$work/wrong"
        PGPASSFILE=$work/wrong "$records" sync "$a" --database "$db" 2>"$work/wrong.err"
        status=$?
        [ "$status" = 1 ] && grep -q "password authentication failed" "$work/wrong.err" ||
            fail "wrong password: $status $(cat "$work/wrong.err")"
        "$records" sync "$a" --database "postgresql://mv62:secret@/line" 2>"$work/uri.err"
        [ $? = 2 ] && grep -q "holds a password" "$work/uri.err" || fail "password in the URI"
        echo "$(wc -l <"$work/db.ids") runs once each in the line's database"
        ;;
    index)
        # Readers while a bench records: no reader fails, none waits for the station.
        "$records" list "$b" >/dev/null || fail "list"
        record BENCH-B L1 13 2 &
        recording=$!
        while kill -0 "$recording" 2>/dev/null; do
            "$records" list "$b" --limit 5 >/dev/null 2>"$work/reader.err" ||
                fail "a reader failed while the station recorded: $(cat "$work/reader.err")"
            "$records" csv "$b" --kind auto-test -o "$work/while.csv" 2>"$work/reader.err" ||
                fail "csv while the station recorded: $(cat "$work/reader.err")"
        done
        wait "$recording" || fail "the bench did not record"
        # An update killed while it writes the index: the next command finishes it.
        grow "$a" 3000
        "$records" list "$a" >/dev/null 2>&1 &
        updating=$!
        sleep 0.5
        kill -KILL "$updating"
        wait "$updating" 2>/dev/null
        grow "$b" 1
        for folder in "$a" "$b"; do
            "$records" csv "$folder" -o "$work/index.csv" 2>"$work/csv.err" ||
                fail "csv $folder: $(cat "$work/csv.err")"
            run_ids_of_csv "$work/index.csv" >"$work/index.ids"
            run_ids_of_files "$folder" >"$work/files.ids"
            cmp -s "$work/index.ids" "$work/files.ids" ||
                fail "the index of $folder is not its files: $(diff "$work/index.ids" "$work/files.ids" | head -5)"
            "$records" reindex "$folder" >"$work/reindex.out" || fail "reindex $folder"
            "$records" csv "$folder" -o "$work/rebuilt.csv" || fail "csv after reindex"
            cmp -s "$work/index.csv" "$work/rebuilt.csv" || fail "the rebuilt index answers otherwise"
        done
        # A file that is not a record is named, the others still read.
        mkdir -p "$a/2026-01-01"
        printf '{"schema": "mv62-run-record/2", "run_id": ' >"$a/2026-01-01/cut_auto-test_PASS.json"
        "$records" list "$a" >"$work/list.out" 2>"$work/list.err"
        [ $? = 1 ] && grep -q "cut_auto-test_PASS.json" "$work/list.err" &&
            [ "$(wc -l <"$work/list.out")" = "$(run_ids_of_files "$a" | wc -l)" ] ||
            fail "a cut record: $(cat "$work/list.err")"
        echo "$(wc -l <"$work/files.ids") runs in the index of bench B, as its files"
        ;;
    *)
        fail "unknown scenario $scenario"
        ;;
esac
