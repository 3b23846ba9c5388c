#pragma once
// The stats and dashboard commands of mv62-records: their options, the runs they read and what
// they print or write.
#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include "records/StatsSource.h"

namespace mv62tool {

struct StatsRequest {
    QString format = "text";  // stats: text, csv or json
    RunSelection selection;
    QStringList filters;  // the selection in words, for the page
};

bool IsStatsCommand(const QString& command);  // stats, dashboard

// The options that only stats and dashboard take (--since and --device they share with others).
QList<QCommandLineOption> StatsOptions();

// Reads the options of stats or dashboard into `request`; for any other command, refuses the
// options only they take. The usage error in words, or empty when the options are right.
QString ReadStatsOptions(const QString& command, const QCommandLineParser& parser,
                         StatsRequest& request);

// The statistics of the runs in `folder` the request selects: in its format for stats, as the
// dashboard page for dashboard. Records that cannot be read go to `problems`; false with `error`
// when the folder cannot be read.
bool StatsOutput(const QString& command, const QString& folder, const StatsRequest& request,
                 QByteArray& out, QStringList& problems, QString& error);

}  // namespace mv62tool
