#pragma once
// Where the statistics get their runs: the rows of the records index or of the line's database,
// narrowed to the selection and in the order they started.
#include <QString>
#include <QStringList>
#include <functional>

#include "ResultsStore.h"
#include "Statistics.h"
#include "records/RunFolder.h"

namespace mv62tool {

// Hands every run of `store` that `selection` accepts to `take`, one at a time in the order they
// started (ties by run id), with its judged values. Runs whose start cannot be read are named in
// `problems`; `folder` (empty for a line's database) is where their files are.
bool ForEachRunSample(mv62rec::ResultsStore& store, const QString& folder,
                      const RunFilter& selection,
                      const std::function<void(const mv62rec::RunSample&)>& take,
                      QStringList& problems, QString& error);

}  // namespace mv62tool
