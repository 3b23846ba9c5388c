#pragma once
// Where records and journals live: one folder per day under the records folder, file names that
// sort by time and carry the unit and the outcome, and writes that survive a crash.
#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include "RunRecord.h"

namespace mv62rec {

// The user's records folder: $XDG_DATA_HOME/mv62-station/records, else
// ~/.local/share/mv62-station/records.
QString DefaultRecordsFolder();

// Text made safe for a file name: letters, digits, '.', '_' and '-' are kept, every other run of
// characters becomes one '-'; "unidentified" when nothing is left.
QString FileNamePart(const QString& text);

// <root>/<YYYY-MM-DD>/<YYYYMMDD-HHMMSS.mmm>_<device>_journal.jsonl for a link opened at `iso`.
QString JournalFileName(const QString& root, const QString& iso, const QString& device);
// <root>/<YYYY-MM-DD>/<YYYYMMDD-HHMMSS.mmm>_<device>_<kind>_<OUTCOME>.json, by the run's start.
QString RunRecordFileName(const QString& root, const RunRecord& run);
// The path itself, or the first of path-2, path-3, ... (before the extension) that is free.
QString FreePath(const QString& path);

// Creates a folder and its parents; the reason in plain words when it cannot.
bool CreateFolder(const QString& path, QString& error);
// Puts a file written through QSaveFile in place whole or not at all: its temporary file beside
// it is synced and renamed over it, and the folder synced so that the new name survives a power
// cut.
bool CommitAtomically(QSaveFile& file, QString& error);
// Writes a run record whole or not at all (see CommitAtomically), never over an existing file.
bool WriteRunRecord(const QString& path, const RunRecord& run, QString& error);
// Asks the operating system to put the file's data on the disk.
bool SyncToDisk(QFile& file);

}  // namespace mv62rec
