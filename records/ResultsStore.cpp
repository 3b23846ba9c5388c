#include "ResultsStore.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <map>

#include "DatabaseUri.h"
#include "RecordVocabulary.h"

namespace mv62rec {

namespace {

// How long a command waits for another one writing the same index.
constexpr int kIndexBusyMs = 30000;

QString NewConnectionName() {
    static std::atomic<int> next{0};
    return QString("mv62-results-%1").arg(next++);
}

// An empty text is stored as NULL, and NULL read back as an empty text.
QVariant Text(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}
QVariant Number(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>());
}
QVariant Verdict(const std::optional<bool>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<bool>());
}

QString Failure(const QSqlQuery& q) {
    return OneLine(q.lastError().text());
}

bool Exec(QSqlDatabase& db, const QString& sql, QString& error) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        error = Failure(q);
        return false;
    }
    return true;
}

// Prepares `sql`, binds `values` in order and runs it, reading forward only.
bool Run(QSqlQuery& q, const QString& sql, const QVariantList& values, QString& error) {
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        error = Failure(q);
        return false;
    }
    for (const QVariant& v : values) {
        q.addBindValue(v);
    }
    if (!q.exec()) {
        error = Failure(q);
        return false;
    }
    return true;
}

// ---- What the readers select

// The facts of a run, in the order FactsAt reads them.
constexpr char kFacts[] =
    "r.run_id, r.started, r.finished, r.kind, r.outcome, r.stopped_at, r.reason, r.unit_serial, "
    "r.device, r.station_id, r.line, r.location, r.host, r.operator, r.plan_version, r.schema, "
    "r.file, r.started_utc_ms";
constexpr int kFactColumns = 18;

StoredRun FactsAt(const QSqlQuery& q) {
    StoredRun s;
    RunRecord& run = s.run;
    s.key = q.value(0).toString();
    run.started = q.value(1).toString();
    run.finished = q.value(2).toString();
    run.kind =
        q.value(3).toString() == kind::Calibration ? RunKind::Calibration : RunKind::AutoTest;
    run.outcome = OutcomeNamed(q.value(4).toString()).value_or(Outcome::Incomplete);
    run.stoppedAt = q.value(5).toString();
    run.reason = q.value(6).toString();
    run.unitSerial = q.value(7).toString();
    run.device = q.value(8).toString();
    run.station.id = q.value(9).toString();
    run.station.line = q.value(10).toString();
    run.station.location = q.value(11).toString();
    run.station.host = q.value(12).toString();
    run.station.operatorName = q.value(13).toString();
    run.planVersion = q.value(14).toString();
    run.runId = q.value(15).toString() == schema::RecordVersion1 ? QString() : s.key;
    s.file = q.value(16).toString();
    s.startedUtcMs = q.value(17).toLongLong();
    return s;
}

QString OrderBy(ResultsStore::Order order) {
    return order == ResultsStore::Order::NewestFirst
               ? "r.started_utc_ms DESC, r.file DESC, r.run_id DESC"
               : "r.started_utc_ms, r.file, r.run_id";
}

// An optional text of the filter against its column: an empty one is a NULL there.
void Equal(const char* column, const std::optional<QString>& value, QStringList& terms,
           QVariantList& binds) {
    if (!value) {
        return;
    }
    if (value->isEmpty()) {
        terms << QString("%1 IS NULL").arg(column);
    } else {
        terms << QString("%1 = ?").arg(column);
        binds << *value;
    }
}

std::optional<mv62::Comparison> ComparisonNamed(const QString& name) {
    for (mv62::Comparison c : {mv62::Comparison::Exclusive, mv62::Comparison::Inclusive,
                               mv62::Comparison::AtLeast, mv62::Comparison::Equals}) {
        if (name == QLatin1String(mv62::ComparisonName(c).data())) {
            return c;
        }
    }
    return std::nullopt;
}

std::optional<double> NumberAt(const QSqlQuery& q, int column) {
    const QVariant v = q.value(column);
    return v.isNull() ? std::nullopt : std::optional(v.toDouble());
}

// ---- PostgreSQL: a batch of rows as one array per column

// An array value in PostgreSQL's text form, built an element at a time: "{"a","b",NULL}".
class PgArray {
  public:
    void Add(const QString& text) {
        Next();
        if (text.isEmpty()) {
            text_ += QLatin1String("NULL");
            return;
        }
        text_ += '"';
        for (QChar c : text) {
            if (c == '"' || c == '\\') {
                text_ += '\\';
            }
            text_ += c;
        }
        text_ += '"';
    }
    void Add(std::int64_t v) {
        Next();
        text_ += QString::number(v);
    }
    void Add(const std::optional<double>& v) {
        Next();
        text_ += v ? QString::number(*v, 'g', QLocale::FloatingPointShortest) : QString("NULL");
    }
    void Add(const std::optional<bool>& v) {
        Next();
        text_ += v ? (*v ? "t" : "f") : "NULL";
    }
    QString Text() const { return text_ + '}'; }

  private:
    void Next() {
        if (text_.size() > 1) {
            text_ += ',';
        }
    }
    QString text_ = "{";
};

constexpr char kRunColumns[] =
    "run_id, started, started_utc_ms, day, finished, kind, outcome, stopped_at, reason, "
    "unit_serial, device, station_id, line, location, host, operator, plan_version, schema, "
    "file, record";
constexpr char kMeasurementColumns[] =
    "run_id, position, name, value, text, unit, low, high, comparison, passed";
constexpr char kStationColumns[] = "id, line, location, host, last_seen, last_seen_utc_ms";
// A station's line, place and host are those of its newest run.
constexpr char kStationUpdate[] =
    " ON CONFLICT (id) DO UPDATE SET"
    " line = CASE WHEN newer THEN excluded.line ELSE stations.line END,"
    " location = CASE WHEN newer THEN excluded.location ELSE stations.location END,"
    " host = CASE WHEN newer THEN excluded.host ELSE stations.host END,"
    " last_seen = CASE WHEN newer THEN excluded.last_seen ELSE stations.last_seen END,"
    " last_seen_utc_ms = CASE WHEN newer THEN excluded.last_seen_utc_ms"
    " ELSE stations.last_seen_utc_ms END";

QString StationUpdate() {
    return QString(kStationUpdate)
        .replace("newer", "excluded.last_seen_utc_ms >= stations.last_seen_utc_ms");
}

}  // namespace

ResultsStore::ResultsStore(Dialect dialect, QString connection, QString name)
    : dialect_(dialect), connection_(std::move(connection)), name_(std::move(name)) {}

ResultsStore::~ResultsStore() {
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

std::unique_ptr<ResultsStore> ResultsStore::OpenIndex(const QString& file, const QString& name,
                                                      QString& error, bool* newer) {
    std::unique_ptr<ResultsStore> store(
        new ResultsStore(Dialect::Sqlite, NewConnectionName(), name));
    QSqlDatabase& db = store->db_;
    db = QSqlDatabase::addDatabase("QSQLITE", store->connection_);
    if (!db.isValid()) {
        error = "Qt's SQLite driver is not installed (Debian: libqt6sql6-sqlite)";
        return nullptr;
    }
    db.setDatabaseName(file.isEmpty() ? QString(":memory:") : file);
    db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(kIndexBusyMs));
    if (!db.open()) {
        error = OneLine(db.lastError().text());
        return nullptr;
    }
    // Readers never wait for a writer, and a writer's commit costs no sync of the whole file;
    // what a power cut takes from an index is read again from the files.
    QSqlQuery wal(db);
    if ((!file.isEmpty() && (!wal.exec("PRAGMA journal_mode = WAL") || !wal.next() ||
                             wal.value(0).toString() != "wal")) ||
        !Exec(db, "PRAGMA synchronous = NORMAL", error) ||
        !Exec(db, "PRAGMA cache_size = -32768", error)) {
        error = error.isEmpty() ? QString("it cannot keep a write-ahead log: %1")
                                      .arg(OneLine(wal.lastError().text()))
                                : error;
        return nullptr;
    }
    wal.finish();
    if (!PrepareSchema(db, Dialect::Sqlite, name, store->databaseId_, error, newer)) {
        return nullptr;
    }
    return store;
}

std::unique_ptr<ResultsStore> ResultsStore::OpenDatabase(const QString& uri, bool writer,
                                                         QString& error, bool* unreachable) {
    const std::optional<DatabaseAddress> address = ParseDatabaseUri(uri, error);
    if (!address) {
        return nullptr;
    }
    std::unique_ptr<ResultsStore> store(
        new ResultsStore(Dialect::Postgres, NewConnectionName(), uri));
    QSqlDatabase& db = store->db_;
    db = QSqlDatabase::addDatabase("QPSQL", store->connection_);
    if (!db.isValid()) {
        error = "Qt's PostgreSQL driver is not installed (Debian: libqt6sql6-psql)";
        return nullptr;
    }
    db.setHostName(address->host);
    db.setPort(address->port);
    db.setDatabaseName(address->database);
    db.setUserName(address->user);
    // The server sees who is connected; an unreachable host or a silent network is given up
    // on rather than waited for, where the URI does not say otherwise.
    QStringList options =
        address->options.isEmpty() ? QStringList() : QStringList{address->options};
    const auto byDefault = [&](const QString& key, const QString& value) {
        if (!address->options.contains(QRegularExpression("(^|;)" + key + '='))) {
            options << key + '=' + value;
        }
    };
    byDefault("application_name", "'mv62-records'");
    byDefault("connect_timeout", "10");
    byDefault("keepalives_idle", "30");
    byDefault("keepalives_interval", "10");
    byDefault("keepalives_count", "3");
    db.setConnectOptions(options.join(';'));
    if (!db.open()) {
        if (unreachable != nullptr) {
            *unreachable = true;
        }
        error = QString("the database %1 cannot be reached: %2")
                    .arg(uri, OneLine(db.lastError().databaseText()));
        return nullptr;
    }
    // Notices ("... does not exist, skipping") would reach standard error through libpq.
    if (!Exec(db, "SET client_min_messages TO warning", error)) {
        error = QString("the database %1: %2").arg(uri, error);
        return nullptr;
    }
    const bool ready = writer ? PrepareSchema(db, Dialect::Postgres, uri, store->databaseId_, error)
                              : CheckSchema(db, Dialect::Postgres, uri, store->databaseId_, error);
    return ready ? std::move(store) : nullptr;
}

bool ResultsStore::Begin(QString& error) {
    return Exec(db_, dialect_ == Dialect::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN", error);
}

bool ResultsStore::Commit(QString& error) {
    return Exec(db_, "COMMIT", error);
}

void ResultsStore::Rollback() {
    QString ignored;
    Exec(db_, "ROLLBACK", ignored);
}

bool ResultsStore::Reachable() {
    QString ignored;
    return db_.isOpen() && Exec(db_, "SELECT 1", ignored);
}

bool ResultsStore::AddRuns(const std::vector<RunRow>& runs, std::vector<bool>& added,
                           QString& error) {
    added.assign(runs.size(), false);
    if (runs.empty()) {
        return true;
    }
    return (dialect_ == Dialect::Sqlite ? AddRunsOneByOne(runs, added, error)
                                        : AddRunsAsArrays(runs, added, error)) &&
           AddStations(runs, error);
}

// SQLite: a prepared statement run per row is as fast as it gets there.
bool ResultsStore::AddRunsOneByOne(const std::vector<RunRow>& runs, std::vector<bool>& added,
                                   QString& error) {
    QSqlQuery run(db_), measurement(db_);
    if (!run.prepare(QString("INSERT INTO runs (%1) VALUES (%2) ON CONFLICT (run_id) DO NOTHING")
                         .arg(kRunColumns, QString("?, ").repeated(19) + '?')) ||
        !measurement.prepare(QString("INSERT INTO measurements (%1) VALUES (%2)")
                                 .arg(kMeasurementColumns, QString("?, ").repeated(9) + '?'))) {
        error = Failure(run.lastError().isValid() ? run : measurement);
        return false;
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const RunRow& r = runs[i];
        const QVariantList values = {
            r.runId, r.started, QVariant::fromValue<qlonglong>(r.startedUtcMs), r.day,
            Text(r.finished), r.kind, r.outcome, Text(r.stoppedAt), Text(r.reason),
            Text(r.unitSerial), Text(r.device), r.stationId, Text(r.line), Text(r.location),
            Text(r.host), Text(r.operatorName), Text(r.planVersion), r.schema, r.file,
            // The index reads a record from its file, which is at hand.
            QVariant(QMetaType::fromType<QString>())};
        for (int v = 0; v < values.size(); ++v) {
            run.bindValue(v, values[v]);
        }
        if (!run.exec()) {
            error = Failure(run);
            return false;
        }
        added[i] = run.numRowsAffected() == 1;
        if (!added[i]) {
            continue;
        }
        for (const StoredMeasurement& m : r.measurements) {
            measurement.bindValue(0, r.runId);
            measurement.bindValue(1, m.position);
            measurement.bindValue(2, m.name);
            measurement.bindValue(3, Number(m.value));
            measurement.bindValue(4, Text(m.text));
            measurement.bindValue(5, Text(m.unit));
            measurement.bindValue(6, Number(m.low));
            measurement.bindValue(7, Number(m.high));
            measurement.bindValue(8, Text(m.comparison));
            measurement.bindValue(9, Verdict(m.passed));
            if (!measurement.exec()) {
                error = Failure(measurement);
                return false;
            }
        }
    }
    return true;
}

// PostgreSQL: the whole batch in one statement, each column one array bound as a value; the
// measurements go in only with a run that was not there yet, so that a batch sent again adds
// nothing.
bool ResultsStore::AddRunsAsArrays(const std::vector<RunRow>& runs, std::vector<bool>& added,
                                   QString& error) {
    std::vector<PgArray> r(20), m(10);
    QSet<QString> keys;
    for (const RunRow& run : runs) {
        if (keys.contains(run.runId)) {
            continue;
        }
        keys.insert(run.runId);
        int c = 0;
        r[c++].Add(run.runId);
        r[c++].Add(run.started);
        r[c++].Add(run.startedUtcMs);
        for (const QString* text :
             {&run.day, &run.finished, &run.kind, &run.outcome, &run.stoppedAt, &run.reason,
              &run.unitSerial, &run.device, &run.stationId, &run.line, &run.location, &run.host,
              &run.operatorName, &run.planVersion, &run.schema, &run.file}) {
            r[c++].Add(*text);
        }
        r[c++].Add(QString::fromUtf8(run.record));
        for (const StoredMeasurement& v : run.measurements) {
            m[0].Add(run.runId);
            m[1].Add(std::int64_t{v.position});
            m[2].Add(v.name);
            m[3].Add(v.value);
            m[4].Add(v.text);
            m[5].Add(v.unit);
            m[6].Add(v.low);
            m[7].Add(v.high);
            m[8].Add(v.comparison);
            m[9].Add(v.passed);
        }
    }
    const QString sql =
        QString(
            "WITH new_runs AS ("
            " INSERT INTO runs (%1)"
            " SELECT * FROM unnest(?::text[], ?::text[], ?::bigint[], ?::text[], ?::text[],"
            " ?::text[], ?::text[], ?::text[], ?::text[], ?::text[], ?::text[], ?::text[], "
            "?::text[],"
            " ?::text[], ?::text[], ?::text[], ?::text[], ?::text[], ?::text[], ?::text[])"
            " ON CONFLICT (run_id) DO NOTHING RETURNING run_id),"
            " new_measurements AS ("
            " INSERT INTO measurements (%2)"
            " SELECT m.* FROM unnest(?::text[], ?::integer[], ?::text[], ?::float8[], ?::text[],"
            " ?::text[], ?::float8[], ?::float8[], ?::text[], ?::boolean[]) AS m(%2)"
            " WHERE m.run_id IN (SELECT run_id FROM new_runs))"
            " SELECT run_id FROM new_runs")
            .arg(kRunColumns, kMeasurementColumns);
    QVariantList values;
    for (const PgArray& a : r) {
        values << a.Text();
    }
    for (const PgArray& a : m) {
        values << a.Text();
    }
    QSqlQuery q(db_);
    if (!Run(q, sql, values, error)) {
        return false;
    }
    QSet<QString> inserted;
    while (q.next()) {
        inserted.insert(q.value(0).toString());
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        added[i] = inserted.contains(runs[i].runId);
    }
    return true;
}

bool ResultsStore::AddStations(const std::vector<RunRow>& runs, QString& error) {
    // Each station once, with its newest run of the batch, in the order of their ids: two
    // syncs that meet on a station take its row in the same order.
    std::map<QString, const RunRow*> newest;
    for (const RunRow& r : runs) {
        const RunRow*& n = newest[r.stationId];
        if (n == nullptr || r.startedUtcMs >= n->startedUtcMs) {
            n = &r;
        }
    }
    QSqlQuery q(db_);
    if (dialect_ == Dialect::Postgres) {
        std::vector<PgArray> s(6);
        for (const auto& [id, r] : newest) {
            s[0].Add(id);
            s[1].Add(r->line);
            s[2].Add(r->location);
            s[3].Add(r->host);
            s[4].Add(r->started);
            s[5].Add(r->startedUtcMs);
        }
        QVariantList values;
        for (const PgArray& a : s) {
            values << a.Text();
        }
        return Run(q,
                   QString("INSERT INTO stations (%1) SELECT * FROM unnest(?::text[], ?::text[],"
                           " ?::text[], ?::text[], ?::text[], ?::bigint[])")
                           .arg(kStationColumns) +
                       StationUpdate(),
                   values, error);
    }
    if (!q.prepare(
            QString("INSERT INTO stations (%1) VALUES (?, ?, ?, ?, ?, ?)").arg(kStationColumns) +
            StationUpdate())) {
        error = Failure(q);
        return false;
    }
    for (const auto& [id, r] : newest) {
        const QVariantList values = {id,
                                     Text(r->line),
                                     Text(r->location),
                                     Text(r->host),
                                     r->started,
                                     QVariant::fromValue<qlonglong>(r->startedUtcMs)};
        for (int v = 0; v < values.size(); ++v) {
            q.bindValue(v, values[v]);
        }
        if (!q.exec()) {
            error = Failure(q);
            return false;
        }
    }
    return true;
}

bool ResultsStore::RemoveRun(const QString& key, QString& error) {
    QSqlQuery q(db_);
    return Run(q, "DELETE FROM measurements WHERE run_id = ?", {key}, error) &&
           Run(q, "DELETE FROM runs WHERE run_id = ?", {key}, error);
}

bool ResultsStore::Where(const RunFilter& filter, QString& sql, QVariantList& binds,
                         QString& error) {
    QStringList terms;
    if (!filter.device.isEmpty()) {
        // Identifications are few: those the filter takes are found here, with Qt's idea of
        // letters in any case, and named to the database.
        QSqlQuery q(db_);
        if (!Run(q, "SELECT DISTINCT device FROM runs WHERE device IS NOT NULL", {}, error)) {
            return false;
        }
        QStringList devices;
        while (q.next()) {
            if (filter.AcceptsDevice(q.value(0).toString())) {
                devices << q.value(0).toString();
                binds << devices.back();
            }
        }
        terms
            << (devices.isEmpty()
                    ? QString("1 = 0")
                    : QString("r.device IN (%1)").arg(QStringList(devices.size(), "?").join(", ")));
    }
    Equal("r.unit_serial", filter.serial, terms, binds);
    Equal("r.station_id", filter.station, terms, binds);
    Equal("r.line", filter.line, terms, binds);
    if (filter.sinceDay) {
        terms << "r.day >= ?";
        binds << *filter.sinceDay;
    }
    if (filter.untilDay) {
        terms << "r.day <= ?";
        binds << *filter.untilDay;
    }
    // A start that cannot be read is earlier than any time.
    if (filter.sinceTime) {
        terms << "r.started_utc_ms >= ?";
        binds << QVariant::fromValue<qlonglong>(filter.sinceTime->toMSecsSinceEpoch());
    }
    if (filter.untilTime) {
        terms << "r.started_utc_ms <= ?";
        binds << QVariant::fromValue<qlonglong>(filter.untilTime->toMSecsSinceEpoch());
    }
    if (filter.outcome) {
        terms << "r.outcome = ?";
        binds << OutcomeName(*filter.outcome);
    }
    if (filter.kind) {
        terms << "r.kind = ?";
        binds << RunKindName(*filter.kind);
    }
    sql = terms.isEmpty() ? QString() : " WHERE " + terms.join(" AND ");
    return true;
}

bool ResultsStore::ForEachRun(const RunFilter& filter, Order order, int limit, bool withFailed,
                              const std::function<bool(const StoredRun&)>& take, QString& error) {
    QString where;
    QVariantList binds;
    if (!Where(filter, where, binds, error)) {
        return false;
    }
    const QString orderBy = OrderBy(order);
    // The newest N are chosen before their failed measurements are joined.
    QString from = "runs r";
    if (limit > 0) {
        from = QString("(SELECT * FROM runs r%1 ORDER BY %2 LIMIT ?) r").arg(where, orderBy);
        where.clear();
        binds << limit;
    }
    const QString sql =
        QString("SELECT %1, %2 FROM %3%4%5 ORDER BY %6%7")
            .arg(kFacts, withFailed ? "m.name" : "NULL", from,
                 withFailed
                     ? " LEFT JOIN measurements m ON m.run_id = r.run_id AND m.passed = FALSE"
                     : "",
                 where, orderBy, withFailed ? ", m.position" : "");
    QSqlQuery q(db_);
    if (!Run(q, sql, binds, error)) {
        return false;
    }
    std::optional<StoredRun> current;
    while (q.next()) {
        if (!current || current->key != q.value(0).toString()) {
            if (current && !take(*current)) {
                return true;
            }
            current = FactsAt(q);
        }
        if (!q.isNull(kFactColumns)) {
            current->failed << q.value(kFactColumns).toString();
        }
    }
    if (q.lastError().isValid()) {
        error = Failure(q);
        return false;
    }
    if (current) {
        take(*current);
    }
    return true;
}

bool ResultsStore::ForEachRunWithValues(
    const RunFilter& filter,
    const std::function<void(const StoredRun&, const std::vector<StoredValue>&)>& take,
    QString& error) {
    QString where;
    QVariantList binds;
    if (!Where(filter, where, binds, error)) {
        return false;
    }
    const QString sql = QString(
                            "SELECT %1, m.name, m.text, m.passed FROM runs r LEFT JOIN "
                            "measurements m ON m.run_id = r.run_id%2 ORDER BY %3, m.position")
                            .arg(kFacts, where, OrderBy(Order::OldestFirst));
    QSqlQuery q(db_);
    if (!Run(q, sql, binds, error)) {
        return false;
    }
    std::optional<StoredRun> current;
    std::vector<StoredValue> values;
    while (q.next()) {
        if (!current || current->key != q.value(0).toString()) {
            if (current) {
                take(*current, values);
            }
            current = FactsAt(q);
            values.clear();
        }
        if (!q.isNull(kFactColumns)) {
            const QVariant passed = q.value(kFactColumns + 2);
            values.push_back({q.value(kFactColumns).toString(),
                              q.value(kFactColumns + 1).toString(),
                              passed.isNull() ? std::nullopt : std::optional(passed.toBool())});
        }
    }
    if (q.lastError().isValid()) {
        error = Failure(q);
        return false;
    }
    if (current) {
        take(*current, values);
    }
    return true;
}

bool ResultsStore::ForEachSample(const RunFilter& filter,
                                 const std::function<void(const RunSample&)>& take,
                                 QStringList& problems, QString& error) {
    QString where;
    QVariantList binds;
    if (!Where(filter, where, binds, error)) {
        return false;
    }
    const QString unreadable =
        (where.isEmpty() ? " WHERE " : where + " AND ") + "r.started_utc_ms = ?";
    QSqlQuery q(db_);
    if (!Run(q, "SELECT r.file, r.started FROM runs r" + unreadable + " ORDER BY r.file",
             QVariantList(binds) << QVariant::fromValue<qlonglong>(kUnreadableStart), error)) {
        return false;
    }
    while (q.next()) {
        problems << QString("%1: no start time that can be read (\"%2\")")
                        .arg(q.value(0).toString(), q.value(1).toString());
    }
    // The runs' facts first, then their values in the same order: a row per value carries only
    // the value and its run's id, not the run's nine facts again (a hundred thousand runs have
    // nearly two million judged values, and every column of a row is converted as it is read).
    const QString readable =
        (where.isEmpty() ? " WHERE " : where + " AND ") + "r.started_utc_ms <> ?";
    const QString order = " ORDER BY r.started_utc_ms, r.run_id";
    binds << QVariant::fromValue<qlonglong>(kUnreadableStart);
    // Both queries see one state of the tables, whatever a sync or an index update adds between.
    const QString snapshot =
        dialect_ == Dialect::Postgres ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY" : "BEGIN";
    if (!q.exec(snapshot)) {  // not prepared: PostgreSQL prepares no BEGIN
        error = Failure(q);
        return false;
    }
    struct EndSnapshot {
        QSqlDatabase& db;
        ~EndSnapshot() { QSqlQuery(db).exec("COMMIT"); }
    } endSnapshot{db_};
    if (!Run(q,
             "SELECT r.run_id, r.started, r.station_id, r.line, r.unit_serial, r.device, r.kind, "
             "r.outcome, r.plan_version FROM runs r" +
                 readable + order,
             binds, error)) {
        return false;
    }
    // A hundred thousand runs name the same few stations, devices and measurements.
    QSet<QString> shared;
    const auto share = [&shared](const QString& s) { return *shared.insert(s); };
    std::vector<RunSample> runs;
    while (q.next()) {
        RunSample& run = runs.emplace_back();
        run.runId = q.value(0).toString();
        run.started = q.value(1).toString();
        run.station = share(q.value(2).toString());
        run.line = share(q.value(3).toString());
        run.unitSerial = q.value(4).toString();
        run.device = share(q.value(5).toString());
        run.kind =
            q.value(6).toString() == kind::Calibration ? RunKind::Calibration : RunKind::AutoTest;
        run.outcome = OutcomeNamed(q.value(7).toString()).value_or(Outcome::Incomplete);
        run.planVersion = share(q.value(8).toString());
    }
    if (q.lastError().isValid()) {
        error = Failure(q);
        return false;
    }
    q.finish();
    if (!Run(q,
             // LEFT: SQLite then walks the runs in order and needs no sort of the values.
             "SELECT r.run_id, m.name, m.value, m.low, m.high, m.comparison, m.passed FROM runs r "
             "LEFT JOIN measurements m ON m.run_id = r.run_id AND "
             "(m.comparison IS NOT NULL OR m.passed = FALSE)" +
                 readable + order + ", m.position",
             binds, error)) {
        return false;
    }
    std::size_t next = 0;  // the first run not handed on yet
    const auto handOnUntil = [&](const QString& runId) {
        while (next < runs.size() && runs[next].runId != runId) {
            take(runs[next]);
            runs[next++] = {};
        }
    };
    while (q.next()) {
        handOnUntil(q.value(0).toString());
        if (next == runs.size()) {
            break;  // not a run of the first query: cannot be within one snapshot
        }
        if (q.isNull(1)) {
            continue;  // a run without judged or failed values
        }
        RunSample& run = runs[next];
        const QString name = share(q.value(1).toString());
        const QVariant passed = q.value(6);
        const std::optional<bool> verdict =
            passed.isNull() ? std::nullopt : std::optional(passed.toBool());
        if (verdict == false) {
            run.failed << name;
        }
        const std::optional<mv62::Comparison> comparison = ComparisonNamed(q.value(5).toString());
        const std::optional<double> value = NumberAt(q, 2);
        if (comparison && value) {
            run.measurements.push_back(
                {name, value, NumberAt(q, 3), NumberAt(q, 4), comparison, verdict});
        }
    }
    if (q.lastError().isValid()) {
        error = Failure(q);
        return false;
    }
    handOnUntil(QString());
    return true;
}

namespace {

// The run of a query's first row and its record's bytes (selected after its facts); false when
// there is none.
bool FirstRunOf(QSqlQuery& q, StoredRun& run, QByteArray& record) {
    if (!q.next()) {
        return false;
    }
    run = FactsAt(q);
    record = q.value(kFactColumns).toString().toUtf8();
    return true;
}

}  // namespace

bool ResultsStore::FindRun(const QString& runId, StoredRun& run, QByteArray& record,
                           QString& error) {
    QSqlQuery q(db_);
    if (!Run(q, QString("SELECT %1, r.record FROM runs r WHERE r.run_id = ?").arg(kFacts), {runId},
             error)) {
        return false;
    }
    return FirstRunOf(q, run, record);
}

bool ResultsStore::NthNewest(int n, StoredRun& run, QByteArray& record, QString& error) {
    // The n-th newest start is found in the index of starts first: the runs from it on hold the
    // n newest and their ties, which alone are sorted by the whole order. Sorted whole, every run
    // was read for one.
    QSqlQuery q(db_);
    if (!Run(q,
             QString("SELECT %1, r.record FROM runs r WHERE r.started_utc_ms >= (SELECT "
                     "started_utc_ms FROM runs ORDER BY started_utc_ms DESC LIMIT 1 OFFSET ?) "
                     "ORDER BY %2 LIMIT 1 OFFSET ?")
                 .arg(kFacts, OrderBy(Order::NewestFirst)),
             {n - 1, n - 1}, error)) {
        return false;
    }
    return FirstRunOf(q, run, record);
}

bool ResultsStore::CountRuns(qint64& count, QString& error) {
    QSqlQuery q(db_);
    if (!Run(q, "SELECT count(*) FROM runs", {}, error) || !q.next()) {
        error = error.isEmpty() ? Failure(q) : error;
        return false;
    }
    count = q.value(0).toLongLong();
    return true;
}

bool ResultsStore::Unacknowledged(const QString& databaseId, const std::optional<Pending>& after,
                                  int limit, std::vector<Pending>& pending, QString& error) {
    QVariantList binds = {databaseId};
    QString sql =
        "SELECT r.run_id, r.file, r.started_utc_ms FROM runs r WHERE NOT EXISTS (SELECT 1 FROM "
        "acknowledged a WHERE a.database_id = ? AND a.run_id = r.run_id)";
    if (after) {
        sql += " AND (r.started_utc_ms > ? OR (r.started_utc_ms = ? AND r.run_id > ?))";
        binds << QVariant::fromValue<qlonglong>(after->startedUtcMs)
              << QVariant::fromValue<qlonglong>(after->startedUtcMs) << after->key;
    }
    sql += " ORDER BY r.started_utc_ms, r.run_id LIMIT ?";
    binds << limit;
    QSqlQuery q(db_);
    if (!Run(q, sql, binds, error)) {
        return false;
    }
    pending.clear();
    while (q.next()) {
        pending.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong()});
    }
    return true;
}

bool ResultsStore::CountUnacknowledged(const QString& databaseId, qint64& count, QString& error) {
    QSqlQuery q(db_);
    if (!Run(q,
             "SELECT count(*) FROM runs r WHERE NOT EXISTS (SELECT 1 FROM acknowledged a WHERE "
             "a.database_id = ? AND a.run_id = r.run_id)",
             {databaseId}, error) ||
        !q.next()) {
        error = error.isEmpty() ? Failure(q) : error;
        return false;
    }
    count = q.value(0).toLongLong();
    return true;
}

bool ResultsStore::Acknowledge(const QString& databaseId, const QStringList& keys, QString& error) {
    QSqlQuery q(db_);
    if (!q.prepare("INSERT INTO acknowledged (database_id, run_id) VALUES (?, ?) ON CONFLICT DO "
                   "NOTHING")) {
        error = Failure(q);
        return false;
    }
    for (const QString& key : keys) {
        q.bindValue(0, databaseId);
        q.bindValue(1, key);
        if (!q.exec()) {
            error = Failure(q);
            return false;
        }
    }
    return true;
}

}  // namespace mv62rec
