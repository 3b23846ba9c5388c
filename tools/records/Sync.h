#pragma once
// Store and forward: the run records of a records folder sent to a line's database. The folder
// is the outbox: the index notes which runs the database has acknowledged, and every run it has
// not is sent, in transactions, idempotently by run id, so that whatever is interrupted (the
// network, the server, the sync itself) each run ends up in the database exactly once. The
// station is never waited on: the sync only reads its folder.
#include <QString>
#include <functional>

namespace mv62tool {

struct SyncOptions {
    QString folder;
    QString databaseUri;
    bool watch = false;  // keep running: send new records as they come, wait out the server
};

// Sends what the database has not acknowledged; with `watch` goes on until SIGTERM or SIGINT.
// `say` takes a line for standard error, `print` one for standard output. Returns the exit code:
// 0 done (or stopped by a signal), 1 bad input (files that are not records, records the database
// refused, a database that cannot be reached or used).
int SyncFolder(const SyncOptions& options, const std::function<void(const QString&)>& say,
               const std::function<void(const QString&)>& print);

}  // namespace mv62tool
