#pragma once
// The run records of a records folder as the reading tool sees them: found in its day folders,
// newest first, filtered as the user asks.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "RunRecord.h"

namespace mv62tool {

struct FoundRun {
    QString path;
    mv62rec::RunRecord run;
    QDateTime started;  // in UTC, for sorting and filtering
};

// True when `folder` is a folder that can be read; the reason in `error` when not.
bool ReadableFolder(const QString& folder, QString& error);

// Every run record under `folder` and its day folders, newest first. Files named like records
// that cannot be read as one are named in `problems`, one line each. False when `folder` is not
// a folder that can be read.
bool FindRuns(const QString& folder, std::vector<FoundRun>& runs, QStringList& problems,
              QString& error);

struct RunFilter {
    QString device;                  // a part of the device text, in any case
    std::optional<QDateTime> since;  // started at or after
    std::optional<mv62rec::Outcome> outcome;
    bool Accepts(const FoundRun& r) const;
};
// "2026-12-08" (that day's start, local time) or an ISO 8601 time.
std::optional<QDateTime> ParseSince(const QString& text);
std::optional<mv62rec::Outcome> ParseOutcome(const QString& text);

// Writes the record of every run of a session journal under `folder` that no record in `folder`
// names (a station killed before it wrote it); existing files are never touched. The records
// written go to `written`, journals that are damaged or unreadable to `problems`.
bool RecoverRuns(const QString& folder, QStringList& written, QStringList& problems,
                 QString& error);

// RUN as the user gives it: a record file, or -N for the N-th newest run of `folder`.
bool IsNewestIndex(const QString& run, int& n);

}  // namespace mv62tool
