#pragma once
// Where records and journals live: one folder per day under the records folder, file names that
// sort by time and carry the unit and the outcome, and writes that survive a crash.
#include <QByteArray>
#include <QFile>
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
// <root>/<YYYY-MM-DD>/<YYYYMMDD-HHMMSS.mmm>_[<serial>_]<device>_<kind>_<OUTCOME>.json, by the
// run's start; the unit's serial when it has one.
QString RunRecordFileName(const QString& root, const RunRecord& run);
// The path itself, or the first of path-2, path-3, ... (before the extension) that is free.
QString FreePath(const QString& path);

// Creates a folder and its parents; the reason in plain words when it cannot.
bool CreateFolder(const QString& path, QString& error);

// What writing a file does when its name is taken.
enum class IfTaken { Fail, Replace };
// Writes a file whole or not at all: `data` goes to a temporary file in the same folder, every
// write and the sync checked, which then takes the name `path` (with IfTaken::Fail never over an
// existing file), and the folder is synced so that the name survives a power cut. On any failure
// nothing new is left under `path`, no temporary file remains, and `error` gives the operating
// system's reason ("No space left on device").
bool WriteFileWhole(const QString& path, const QByteArray& data, IfTaken ifTaken, QString& error);
// Writes a run record whole or not at all (see WriteFileWhole), never over an existing file.
bool WriteRunRecord(const QString& path, const RunRecord& run, QString& error);

// Hands all of `data` to the operating system at the open file's position, going on after a
// partial write; false with the system's reason when it cannot take all of it.
bool WriteToFile(QFile& file, const QByteArray& data, QString& error);
// Asks the operating system to put the file's data on the disk.
bool SyncToDisk(QFile& file);

// Opens a file to read only when it is a regular file (a link to one is fine) of at most `most`
// bytes: a FIFO would block, a device such as /dev/zero never ends. False with the reason ("a
// FIFO, not a file", "larger than 16 MiB") otherwise.
bool OpenRegularFile(QFile& file, const QString& path, qint64 most, QString& error);

}  // namespace mv62rec
