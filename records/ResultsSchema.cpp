#include "ResultsSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <functional>
#include <vector>

namespace mv62rec {

namespace {

constexpr char kVersionTable[] = "mv62_schema";
// The tables a database of ours has; one of them without the version table is someone else's.
const QStringList kOurTables = {"runs", "measurements", "stations"};

// Texts that are sorted (file names, run ids) compare byte by byte, as the folder reader did,
// whatever the database's locale.
QString SortedText(Dialect d) {
    return d == Dialect::Postgres ? QString("TEXT COLLATE \"C\"") : QString("TEXT");
}

// SQLite keeps a table with a key of its own in one tree ordered by that key, not in a tree of
// rows beside a tree of keys: a third less index to write and to keep for the measurements.
QString RowsByKey(Dialect d) {
    return d == Dialect::Sqlite ? QString(" WITHOUT ROWID") : QString();
}

// Version 1: runs, their measurements and the stations; in the index also the files and folders
// it has read and the runs each line's database has acknowledged.
std::vector<QString> Version1(Dialect d) {
    const QString key = SortedText(d);
    std::vector<QString> sql = {
        "CREATE TABLE runs ("
        " run_id " + key + " PRIMARY KEY,"
        " started TEXT NOT NULL,"            // as the record shows it, with its offset
        " started_utc_ms BIGINT NOT NULL,"   // the instant, for order: ms since 1970 UTC
        " day TEXT NOT NULL,"                // the date the record shows
        " finished TEXT,"
        " kind TEXT NOT NULL,"
        " outcome TEXT NOT NULL,"
        " stopped_at TEXT,"
        " reason TEXT,"
        " unit_serial TEXT,"
        " device TEXT,"
        " station_id TEXT NOT NULL,"
        " line TEXT,"
        " location TEXT,"
        " host TEXT,"
        " operator TEXT,"
        " plan_version TEXT,"
        " schema TEXT NOT NULL,"
        " file " + key + " NOT NULL,"         // relative to the station's records folder
        " record TEXT)",                     // the file's bytes (not kept in the index)
        "CREATE TABLE measurements ("
        " run_id " + key + " NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,"
        " position INTEGER NOT NULL,"
        " name TEXT NOT NULL,"
        " value DOUBLE PRECISION,"           // null for a list or nothing measured
        " text TEXT,"                        // the value as the CSV shows it
        " unit TEXT,"
        " low DOUBLE PRECISION,"
        " high DOUBLE PRECISION,"
        " comparison TEXT,"
        " passed BOOLEAN,"
        " PRIMARY KEY (run_id, position))" + RowsByKey(d),
        "CREATE TABLE stations ("
        " id TEXT PRIMARY KEY,"
        " line TEXT,"
        " location TEXT,"
        " host TEXT,"
        " last_seen TEXT,"                   // the start of its newest run, as recorded
        " last_seen_utc_ms BIGINT)",
        // What the readers ask: newest first, by station, by serial, by line, by day.
        // Measurements are read by their run only: an index by name made a sync a quarter
        // slower, and no reader asked it.
        "CREATE INDEX runs_by_start ON runs (started_utc_ms)",
        "CREATE INDEX runs_by_station ON runs (station_id, started_utc_ms)",
        "CREATE INDEX runs_by_serial ON runs (unit_serial, started_utc_ms)",
        "CREATE INDEX runs_by_line ON runs (line, started_utc_ms)",
        "CREATE INDEX runs_by_day ON runs (day)",
    };
    if (d == Dialect::Sqlite) {
        sql.insert(sql.end(), {
            "CREATE TABLE folders (path TEXT PRIMARY KEY, parent TEXT, mtime_ns BIGINT)",
            "CREATE TABLE files (path TEXT PRIMARY KEY, folder TEXT NOT NULL, size BIGINT,"
            " mtime_ns BIGINT, inode BIGINT, run_id TEXT, problem TEXT)",
            "CREATE INDEX files_by_folder ON files (folder)",
            "CREATE INDEX files_by_run ON files (run_id)",
            // The files that are not records, looked at by every command: a few among many.
            "CREATE INDEX files_with_problem ON files (path) WHERE problem IS NOT NULL",
            "CREATE TABLE acknowledged (database_id TEXT NOT NULL, run_id TEXT NOT NULL,"
            " PRIMARY KEY (database_id, run_id))" + RowsByKey(d),
        });
    }
    return sql;
}

// kMigrations[v] takes a database from version v to v + 1; [0] creates the schema.
const std::vector<std::function<std::vector<QString>(Dialect)>> kMigrations = {Version1};
static_assert(kSchemaVersion == 1, "a new version needs its migration step");

bool Run(QSqlDatabase& db, const QString& sql, QString& error) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        error = OneLine(q.lastError().text());
        return false;
    }
    return true;
}

// The version of the schema the database holds (0: none) and its id; false for a database that
// has tables of our names without a version.
bool ReadVersion(QSqlDatabase& db, const QString& name, int& version, QString& id,
                 QString& error) {
    const QStringList tables = db.tables();
    if (!tables.contains(kVersionTable)) {
        for (const QString& t : kOurTables) {
            if (tables.contains(t)) {
                error = QString("the database %1 is not one of MV62 records: it has a table "
                                "\"%2\" but no %3")
                            .arg(name, t, kVersionTable);
                return false;
            }
        }
        version = 0;
        return true;
    }
    QSqlQuery q(db);
    if (!q.exec(QString("SELECT version, database_id FROM %1").arg(kVersionTable)) || !q.next()) {
        error = QString("the database %1 has no schema version that can be read: %2")
                    .arg(name, OneLine(q.lastError().text()));
        return false;
    }
    version = q.value(0).toInt();
    id = q.value(1).toString();
    return true;
}

QString Newer(const QString& name, int version) {
    return QString("the database %1 has schema version %2; this program knows up to %3: update "
                   "mv62-records")
        .arg(name, QString::number(version), QString::number(kSchemaVersion));
}

}  // namespace

QString OneLine(const QString& text) {
    QStringList parts = text.split('\n', Qt::SkipEmptyParts);
    for (QString& p : parts) {
        p = p.trimmed();
    }
    parts.removeAll(QString());
    return parts.join(' ');
}

bool PrepareSchema(QSqlDatabase& db, Dialect dialect, const QString& name, QString& databaseId,
                   QString& error, bool* newer) {
    // One writer at a time: two stations' first syncs may meet an empty database together.
    const QString begin = dialect == Dialect::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN";
    if (!Run(db, begin, error) ||
        (dialect == Dialect::Postgres &&
         !Run(db, "SELECT pg_advisory_xact_lock(1836463666)", error))) {  // "mv62"
        error = QString("the database %1: %2").arg(name, error);
        return false;
    }
    int version = 0;
    const auto fail = [&] {
        QString ignored;
        Run(db, "ROLLBACK", ignored);
        return false;
    };
    if (!ReadVersion(db, name, version, databaseId, error)) {
        return fail();
    }
    if (version > kSchemaVersion) {
        error = Newer(name, version);
        if (newer != nullptr) {
            *newer = true;
        }
        return fail();
    }
    for (int v = version; v < kSchemaVersion; ++v) {
        for (const QString& sql : kMigrations[static_cast<std::size_t>(v)](dialect)) {
            if (!Run(db, sql, error)) {
                error = QString("the database %1 cannot take the schema of version %2: %3")
                            .arg(name, QString::number(v + 1), error);
                return fail();
            }
        }
    }
    if (version < kSchemaVersion) {
        QSqlQuery q(db);
        if (version == 0) {
            databaseId = QUuid::createUuid().toString(QUuid::WithoutBraces);
            // Not prepared: PostgreSQL prepares no statement that makes a table.
            if (!Run(db,
                     QString("CREATE TABLE %1 (version INTEGER NOT NULL, database_id TEXT NOT "
                             "NULL)")
                         .arg(kVersionTable),
                     error)) {
                return fail();
            }
            q.prepare(QString("INSERT INTO %1 (version, database_id) VALUES (?, ?)")
                          .arg(kVersionTable));
            q.addBindValue(kSchemaVersion);
            q.addBindValue(databaseId);
        } else {
            q.prepare(QString("UPDATE %1 SET version = ?").arg(kVersionTable));
            q.addBindValue(kSchemaVersion);
        }
        if (!q.exec()) {
            error = QString("the database %1: %2").arg(name, OneLine(q.lastError().text()));
            return fail();
        }
    }
    if (!Run(db, "COMMIT", error)) {
        error = QString("the database %1: %2").arg(name, error);
        return fail();
    }
    return true;
}

bool CheckSchema(QSqlDatabase& db, Dialect, const QString& name, QString& databaseId,
                 QString& error) {
    int version = 0;
    if (!ReadVersion(db, name, version, databaseId, error)) {
        return false;
    }
    if (version > kSchemaVersion) {
        error = Newer(name, version);
        return false;
    }
    if (version == 0) {
        error = QString("the database %1 holds no MV62 records yet: fill it with mv62-records sync")
                    .arg(name);
        return false;
    }
    if (version < kSchemaVersion) {
        error = QString("the database %1 has schema version %2; this program reads %3: "
                        "mv62-records sync brings it up to date")
                    .arg(name, QString::number(version), QString::number(kSchemaVersion));
        return false;
    }
    return true;
}

}  // namespace mv62rec
