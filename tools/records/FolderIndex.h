#pragma once
// The index of a records folder: an SQLite database in the folder (.mv62-index.sqlite) that holds
// every run record of its day folders as rows, brought up to date from the files at the start
// of each command. The files stay the truth: the index reads only the files it has not seen,
// forgets those that are gone, and can be rebuilt from them at any time.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "ResultsStore.h"

namespace mv62tool {

class ProgressLine;

struct FolderIndex {
    std::unique_ptr<mv62rec::ResultsStore> store;
    QString folder;
    bool inMemory = false;  // the folder cannot keep an index: it lives for this command
};

struct IndexOptions {
    bool rebuild = false;              // read every file again (reindex)
    ProgressLine* progress = nullptr;  // shows the files read on a terminal
    std::function<bool()> stop;        // asked between files: true ends the update early
};

// Opens the index of `folder` and brings it up to date. Where the folder cannot keep one (it
// cannot be written, or the index cannot be made there) the index is built in memory and
// `notes` says so in one line. Files that are not run records and folders that cannot be read go
// to `problems`, one line each. False with `error` when the folder cannot be read or the index is
// of a newer schema.
bool OpenFolderIndex(const QString& folder, const IndexOptions& options, FolderIndex& index,
                     QStringList& notes, QStringList& problems, QString& error);

// Brings an open index up to date with the folder's files; `problems` as above. `changed`, where
// given, tells whether any file was read or forgotten: whether runs may have come or gone.
bool UpdateFolderIndex(FolderIndex& index, const IndexOptions& options, QStringList& problems,
                       QString& error, bool* changed = nullptr);

// A file under a records folder, from its name relative to the folder, as the folder was named.
QString UnderFolder(const QString& folder, const QString& relative);

}  // namespace mv62tool
