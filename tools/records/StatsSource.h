#pragma once
// Where the statistics get their runs: for now the record files of a records folder, read once
// each, narrowed to the selection and put in the order they started.
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "Statistics.h"
#include "records/RunFolder.h"

namespace mv62tool {

// A record file's JSON as a run sample, for records of schema 1 and 2. Schema 1 knows no run id
// (the file's path stands for it), serial, station id (its host stands for it), line or plan
// version. Only judged measurements are kept: nothing else enters the statistics.
bool SampleFromRecord(const QJsonObject& record, const QString& path, mv62rec::RunSample& run,
                      QString& error);

// Hands every run of `folder` and its day folders that `selection` accepts to `take`, one at a
// time in the order they started (ties by run id). Files that are not run records, and a run id
// met a second time, are named in `problems`. False when `folder` is not a folder that can be
// read.
bool ForEachRunSample(const QString& folder, const RunFilter& selection,
                      const std::function<void(const mv62rec::RunSample&)>& take,
                      QStringList& problems, QString& error);

}  // namespace mv62tool
