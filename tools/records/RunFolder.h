#pragma once
// A run record as the reading tool shows it, the check of a records folder, and the recovery of
// the records of a station that was killed.
#include <QString>
#include <QStringList>

#include "RunFilter.h"
#include "RunRecord.h"

namespace mv62tool {

using mv62rec::RunFilter;

// One run with its whole record, for show and html.
struct FoundRun {
    QString path;  // its record file; relative to a records folder for a line's database
    mv62rec::RunRecord run;
    bool onDisk = true;  // its records folder is on this machine: its journal may lie beside it
};

// True when `folder` is a folder that can be read; the reason in `error` when not.
bool ReadableFolder(const QString& folder, QString& error);

// Writes the record of every run of a session journal under `folder` that no record in `folder`
// names (a station killed before it wrote it); existing files are never touched. One recover at
// a time: another one in the same folder is waited for a few seconds, then `error` says it is
// running. The records written go to `written`; journals that are damaged or unreadable, and
// records or folders that cannot be read, to `problems`.
bool RecoverRuns(const QString& folder, QStringList& written, QStringList& problems,
                 QString& error);

}  // namespace mv62tool
