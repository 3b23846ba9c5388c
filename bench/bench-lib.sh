# Shared by bench/line-rate and bench/startup (sourced): bookkeeping of the processes they start,
# virtual displays (the tests' helper, tests/xvfb.sh), and readings from /proc. Every wait here
# is bounded.

source "$(dirname "${BASH_SOURCE[0]}")/../tests/xvfb.sh"

BENCH_PIDS=()
BENCH_TMP=""

bench_die() {
    echo "error: $*" >&2
    exit 1
}

# Remembers a process this script started, so that the exit trap ends it.
bench_track() {
    BENCH_PIDS+=("$1")
}

# Ends every tracked process by its id: SIGTERM (after SIGCONT, in case it was frozen), up to 5 s
# for it to go, then SIGKILL. Removes the scratch directory.
bench_cleanup() {
    local pid i alive
    for pid in "${BENCH_PIDS[@]}"; do
        kill -CONT "$pid" 2>/dev/null || true
        kill -TERM "$pid" 2>/dev/null || true
    done
    for i in $(seq 50); do
        alive=0
        for pid in "${BENCH_PIDS[@]}"; do
            if kill -0 "$pid" 2>/dev/null; then alive=1; fi
        done
        [ "$alive" = 0 ] && break
        sleep 0.1
    done
    for pid in "${BENCH_PIDS[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if [ -n "$BENCH_TMP" ] && [ -d "$BENCH_TMP" ]; then
        rm -rf "$BENCH_TMP"
    fi
}

# Stops one tracked process: SIGTERM, up to `timeout` seconds (default 5), then SIGKILL.
bench_stop() {
    local pid=$1 timeout=${2:-5} i
    kill -CONT "$pid" 2>/dev/null || true
    kill -TERM "$pid" 2>/dev/null || return 0
    for i in $(seq $((timeout * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Waits up to `timeout` seconds until `file` has a line matching the extended regex `pattern`.
bench_wait_for() {
    local file=$1 pattern=$2 timeout=$3 i
    for i in $(seq $((timeout * 20))); do
        if [ -f "$file" ] && grep -Eq -- "$pattern" "$file"; then
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# Starts a virtual X server (the tests' helper) and sets BENCH_DISPLAY to its display (":N").
# Not to be called in a subshell: the server's pid must reach the exit trap.
bench_start_xvfb() {
    local name=$1 started=0
    xvfb_launch "$BENCH_TMP" "$name" || started=1
    bench_track "$XVFB_PID"
    echo "$XVFB_PID" >"$BENCH_TMP/$name.pid"
    [ "$started" = 0 ] || bench_die "Xvfb did not start (see $BENCH_TMP/$name.log)"
    BENCH_DISPLAY=$XVFB_DISPLAY
}

# Processor time of a process (all its threads) so far, in clock ticks (utime + stime).
bench_cpu_ticks() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || {
        echo 0
        return
    }
    # Fields after the command name in brackets: state is 1st, utime 12th, stime 13th.
    echo "${stat##*) }" | awk '{print $12 + $13}'
}

# A field of /proc/PID/status in kB (VmRSS, VmHWM, ...).
bench_status_kb() {
    awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/status" 2>/dev/null || echo 0
}

bench_now_ns() {
    date +%s%N
}

bench_median() {
    sort -n | awk '{v[NR] = $1} END {if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# Finds a built program in the build directory.
bench_program() {
    local path="$BENCH_BUILD/bin/$1"
    [ -x "$path" ] || bench_die "$path not found: build it first (cmake --build $BENCH_BUILD --target $1)"
    echo "$path"
}

bench_need() {
    local tool package
    for tool in "$@"; do
        package=$tool
        [ "$tool" = Xvfb ] && package=xvfb
        command -v "$tool" >/dev/null || bench_die "$tool is needed (apt-get install $package)"
    done
}
