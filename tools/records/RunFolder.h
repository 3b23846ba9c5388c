#pragma once
// The run records of a records folder as the reading tool sees them: found in its day folders,
// newest first, filtered as the user asks.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "RunRecord.h"
#include "Statistics.h"

namespace mv62tool {

struct FoundRun {
    QString path;
    mv62rec::RunRecord run;
    QDateTime started;  // in UTC, for sorting and filtering
};

// True when `folder` is a folder that can be read; the reason in `error` when not.
bool ReadableFolder(const QString& folder, QString& error);

// Every run record under `folder` and its day folders, newest first. Files named like records
// that cannot be read as one (among them FIFOs, devices and files larger than a record can be)
// and folders that cannot be read are named in `problems`, one line each. False when `folder` is
// not a folder that can be read.
bool FindRuns(const QString& folder, std::vector<FoundRun>& runs, QStringList& problems,
              QString& error);

// Which runs a command reads. A day (YYYY-MM-DD) is compared with the day the record shows, in
// its own offset from UTC; a time with the instant the run started.
struct RunFilter {
    QString device;                  // a part of the device text, in any case
    std::optional<QString> serial;   // the unit's serial, as given
    std::optional<QString> station;  // the station's id
    std::optional<QString> line;
    std::optional<QString> sinceDay, untilDay;
    std::optional<QDateTime> sinceTime, untilTime;  // at or after, at or before
    std::optional<mv62rec::Outcome> outcome;
    std::optional<mv62rec::RunKind> kind;

    bool Accepts(const FoundRun& r) const;
    bool Accepts(const mv62rec::RunSample& run, const QDateTime& started) const;
    // Takes --since or --until: a day such as 2026-12-08 or an ISO 8601 time; false for another
    // text.
    bool SetBound(bool since, const QString& text);

  private:
    bool AcceptsRun(const QString& started, const QDateTime& startedAt, const QString& device,
                    const QString& serial, const QString& station, const QString& line,
                    mv62rec::Outcome outcome, mv62rec::RunKind kind) const;
};

// Writes the record of every run of a session journal under `folder` that no record in `folder`
// names (a station killed before it wrote it); existing files are never touched. One recover at
// a time: another one in the same folder is waited for a few seconds, then `error` says it is
// running. The records written go to `written`; journals that are damaged or unreadable, and
// records or folders that cannot be read, to `problems`.
bool RecoverRuns(const QString& folder, QStringList& written, QStringList& problems,
                 QString& error);

}  // namespace mv62tool
