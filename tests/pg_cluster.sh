# Sourced by the tests of the line's database: a PostgreSQL cluster of the test's own, in a
# scratch folder, reached through a Unix socket there and a password from a password file.
# Started as an unprivileged user (the `postgres` account when the test runs as root), stopped
# when the test ends. Gives `pg_uri` (postgresql://mv62@/line?host=SOCKET&port=PORT) and exports
# PGPASSFILE.
#   pg_start FOLDER       makes the cluster in FOLDER (once) and starts it
#   pg_stop               stops it fast (the test's outage)
#   pg_kill               stops it at once, as a machine that loses power (immediate mode)
#   pg_sql SQL...         runs SQL in the line's database, prints the rows unaligned
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
pg_folder=
pg_port=
pg_as() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_start() {
    if [ -z "$pg_folder" ]; then
        pg_folder=$1
        [ -x "$pg_bin/initdb" ] || { echo "SKIP: no PostgreSQL server installed" >&2; exit 77; }
        mkdir -p "$pg_folder/socket"
        echo "line-secret" >"$pg_folder/password"
        [ "$(id -u)" = 0 ] && chown -R postgres "$pg_folder" && chmod 755 "$(dirname "$pg_folder")"
        pg_as "$pg_bin/initdb" -D "$pg_folder/data" -U mv62 --pwfile="$pg_folder/password" \
            -A scram-sha-256 --no-sync >"$pg_folder/initdb.log" 2>&1 ||
            { cat "$pg_folder/initdb.log" >&2; exit 1; }
        # A port of its own: the server listens on its socket only.
        pg_port=$((20000 + RANDOM % 20000))
        printf '%s\n' "listen_addresses = ''" "unix_socket_directories = '$pg_folder/socket'" \
            "port = $pg_port" "fsync = off" >>"$pg_folder/data/postgresql.conf"
        export PGPASSFILE=$pg_folder/pgpass
        echo "*:*:*:mv62:line-secret" >"$PGPASSFILE"
        chmod 600 "$PGPASSFILE"
        pg_uri="postgresql://mv62@/line?host=$pg_folder/socket&port=$pg_port"
        trap 'pg_kill; cleanup' EXIT
    fi
    pg_as "$pg_bin/pg_ctl" -D "$pg_folder/data" -l "$pg_folder/server.log" -w start >/dev/null ||
        { tail -n 20 "$pg_folder/server.log" >&2; exit 1; }
    PGPASSWORD=line-secret "$pg_bin/psql" -q -X -tA -h "$pg_folder/socket" -p "$pg_port" -U mv62 \
        -d postgres -c "SELECT 1 FROM pg_database WHERE datname = 'line'" | grep -q 1 ||
        PGPASSWORD=line-secret "$pg_bin/createdb" -h "$pg_folder/socket" -p "$pg_port" -U mv62 line
}

pg_stop() {
    pg_as "$pg_bin/pg_ctl" -D "$pg_folder/data" -m fast -w stop >/dev/null
}

pg_kill() {
    [ -n "$pg_folder" ] && pg_as "$pg_bin/pg_ctl" -D "$pg_folder/data" -m immediate -w stop \
        >/dev/null 2>&1
    return 0
}

pg_sql() {
    PGPASSWORD=line-secret "$pg_bin/psql" -q -X -tA -F '|' -h "$pg_folder/socket" -p "$pg_port" \
        -U mv62 -d line -v ON_ERROR_STOP=1 -c "$*"
}
