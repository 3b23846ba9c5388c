# Sourced by the end-to-end tests that run the real station headless against the simulator on a
# pseudo-terminal. Expects `station` and `sim` (the programs); gives a scratch folder `work`,
# removed on exit with every process started here.
work=$(mktemp -d)
# The station reads no configuration file of this machine's, only those a test writes.
export XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/system-config
sim_pid=
station_pid=
cleanup() {
    [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    for f in station.out station.err sim.log; do
        [ -f "$work/$f" ] && { echo "--- $f" >&2; tail -n 40 "$work/$f" >&2; }
    done
    exit 1
}

# Checks every run record under the folders given against the published JSON Schema.
validate_records() {
    python3 "$(dirname "${BASH_SOURCE[0]}")/validate_records.py" "$@" >"$work/schema.out" ||
        fail "records that do not hold to the schema: $(head -5 "$work/schema.out")"
}

# Starts the simulator with the options given, its device linked at $work/com1.
start_sim() {
    "$sim" --link "$work/com1" "$@" >"$work/sim.out" 2>"$work/sim.log" &
    sim_pid=$!
    for _ in $(seq 1 100); do [ -e "$work/com1" ] && return 0; sleep 0.1; done
    fail "the simulator did not start"
}

stop_sim() {
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=
}

# Runs the station headless on COM1 (the simulator); sets `status`.
auto_test() {
    MV62_COM1="$work/com1" "$station" --auto-test "$@" >"$work/station.out" 2>"$work/station.err"
    status=$?
}

# Starts an automatic test recording into RECORDS and kills the station with SIGKILL inside the
# motor stage.
kill_in_motor_stage() {

    journals() { grep -l '"motor test"' "$1"/*/*_journal.jsonl 2>/dev/null | wc -l; }
    local before
    before=$(journals "$1")
    MV62_COM1="$work/com1" "$station" --auto-test --records "$1" \
        >"$work/station.out" 2>"$work/station.err" &
    station_pid=$!
    for _ in $(seq 1 600); do
        [ "$(journals "$1")" -gt "$before" ] && break
        sleep 0.05
    done
    sleep 0.4  # inside the motor stage
    kill -KILL "$station_pid"
    wait "$station_pid" 2>/dev/null
    station_pid=
}
