#pragma once
// The results tables of a records folder's index (SQLite) or of a line's database (PostgreSQL),
// through Qt SQL: runs added in transactions, and the runs the readers ask for, with the same
// queries in both. Every value goes to the database bound, never written into the SQL.
#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ResultsSchema.h"
#include "RunFilter.h"
#include "RunRecord.h"
#include "RunRows.h"
#include "Statistics.h"

namespace mv62rec {

// A run as a reader gets it: the facts its row holds.
struct StoredRun {
    RunRecord run;  // run id (empty for a version 1 record), serial, kind, outcome, stop, device,
                    // the station's id, line, location and host, operator, plan, times
    QString key;    // the run's key in the tables (a version 1 record's too)
    QString file;   // its record file, relative to its records folder
    std::int64_t startedUtcMs = kUnreadableStart;
    QStringList failed;  // the judged measurements that failed, in record order (list only)
};

// One measurement of a stored run as the CSV writes it.
struct StoredValue {
    QString name;
    QString text;
    std::optional<bool> passed;
};

class ResultsStore {
  public:
    // A records folder's index in the SQLite file `file`, made when missing, or in memory when
    // `file` is empty. `name` names it in messages; `newer` tells an index of a newer schema.
    static std::unique_ptr<ResultsStore> OpenIndex(const QString& file, const QString& name,
                                                   QString& error, bool* newer = nullptr);
    // A line's database at a libpq connection URI. A writer creates or migrates its schema; a
    // reader only checks it. `unreachable` tells a connection that failed (the server away, a
    // wrong password) from a database that is not fit.
    static std::unique_ptr<ResultsStore> OpenDatabase(const QString& uri, bool writer,
                                                      QString& error,
                                                      bool* unreachable = nullptr);
    ~ResultsStore();
    ResultsStore(const ResultsStore&) = delete;
    ResultsStore& operator=(const ResultsStore&) = delete;

    Dialect dialect() const { return dialect_; }
    const QString& Name() const { return name_; }
    // The id the database was given when its schema was made: what a sync's acknowledgements
    // are noted under, so that a database made anew is filled anew.
    const QString& DatabaseId() const { return databaseId_; }
    QSqlDatabase& Connection() { return db_; }

    // A transaction that writes; in the index it takes the write lock at once.
    bool Begin(QString& error);
    bool Commit(QString& error);
    void Rollback();
    // False when the connection to the server is gone (a failed statement is then not the data's
    // fault).
    bool Reachable();

    // Adds each run that is not there yet with its measurements, and notes its station; `added`
    // says which were. Inside a transaction.
    bool AddRuns(const std::vector<RunRow>& runs, std::vector<bool>& added, QString& error);
    // The index: forgets a run and its measurements.
    bool RemoveRun(const QString& key, QString& error);

    enum class Order { NewestFirst, OldestFirst };
    // The runs the filter selects, in the order asked (ties by file, then key), at most `limit`
    // (0: all) and with their failed measurements when asked; until `take` returns false.
    bool ForEachRun(const RunFilter& filter, Order order, int limit, bool withFailed,
                    const std::function<bool(const StoredRun&)>& take, QString& error);
    // The same, oldest first, with every measurement's value as text.
    bool ForEachRunWithValues(
        const RunFilter& filter,
        const std::function<void(const StoredRun&, const std::vector<StoredValue>&)>& take,
        QString& error);
    // The runs the filter selects as the statistics see them, in the order they started (ties by
    // run id), with their judged values. Runs whose start cannot be read are named in `problems`.
    bool ForEachSample(const RunFilter& filter, const std::function<void(const RunSample&)>& take,
                       QStringList& problems, QString& error);
    // The run of this id (as its record names it, or its key), or the n-th newest run (from 1);
    // `record` its bytes when the database holds them. False with `error` empty when there is none.
    bool FindRun(const QString& runId, StoredRun& run, QByteArray& record, QString& error);
    bool NthNewest(int n, StoredRun& run, QByteArray& record, QString& error);
    bool CountRuns(qint64& count, QString& error);

    // The index: the runs the line's database `databaseId` has not acknowledged, in the order
    // they started, after (startedUtcMs, key) `after`.
    struct Pending {
        QString key;
        QString file;
        std::int64_t startedUtcMs = 0;
    };
    bool Unacknowledged(const QString& databaseId, const std::optional<Pending>& after, int limit,
                        std::vector<Pending>& pending, QString& error);
    bool CountUnacknowledged(const QString& databaseId, qint64& count, QString& error);
    bool Acknowledge(const QString& databaseId, const QStringList& keys, QString& error);

  private:
    ResultsStore(Dialect dialect, QString connection, QString name);
    bool AddRunsOneByOne(const std::vector<RunRow>& runs, std::vector<bool>& added,
                         QString& error);
    bool AddRunsAsArrays(const std::vector<RunRow>& runs, std::vector<bool>& added,
                         QString& error);
    bool AddStations(const std::vector<RunRow>& runs, QString& error);
    // The SQL condition of a filter over `runs r`, and the values it binds.
    bool Where(const RunFilter& filter, QString& sql, QVariantList& binds, QString& error);

    Dialect dialect_;
    QString connection_;
    QString name_;
    QString databaseId_;
    QSqlDatabase db_;
};

}  // namespace mv62rec
