#pragma once
// Where a reading command takes its runs from: a records folder, through its index, or a line's
// database; and one run of either with its whole record.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "ResultsStore.h"
#include "records/RunFolder.h"

namespace mv62tool {

class ProgressLine;

struct RunSource {
    std::unique_ptr<mv62rec::ResultsStore> store;
    QString folder;  // the records folder as it was named; empty for a line's database

    // The folder, or the database's URI.
    QString Name() const;
};

// The line's database at `databaseUri` when one is named, else the index of `folder` brought up
// to date with its files. `notes` (an index kept in memory) and `problems` (files that are not
// run records, folders that cannot be read) are for standard error.
bool OpenRunSource(const QString& folder, const QString& databaseUri, ProgressLine* progress,
                   RunSource& source, QStringList& notes, QStringList& problems, QString& error);

// The run a reader found, with its whole record: the bytes the database holds, or its file.
bool WholeRun(const RunSource& source, const mv62rec::StoredRun& run, const QByteArray& record,
              FoundRun& found, QString& error);

}  // namespace mv62tool
