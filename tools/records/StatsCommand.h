#pragma once
// The stats and dashboard commands of mv62-records: the runs they read and what they print or
// write.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "records/RunSource.h"

namespace mv62tool {

struct StatsRequest {
    QString format = "text";  // stats: text, csv or json
    QStringList filters;      // the selection in words, for the page
};

// The statistics of the runs of `source` the filter selects: in the request's format for stats,
// as the dashboard page for dashboard. Runs that cannot be counted go to `problems`; false with
// `error` when the source cannot be read.
bool StatsOutput(const QString& command, RunSource& source, const RunFilter& filter,
                 const StatsRequest& request, QByteArray& out, QStringList& problems,
                 QString& error);

}  // namespace mv62tool
