#pragma once
// Reading a session journal back into the runs it holds: what rebuilds the records of a station
// that was killed before it could write them.
#include <QString>
#include <functional>
#include <vector>

#include "RunRecord.h"

namespace mv62rec {

struct JournalRuns {
    // Every run of the journal in its order, folded as the station folded it. A run still going
    // at the journal's last complete line ends there, INCOMPLETE for the reason "recovered".
    std::vector<RunRecord> runs;
    int cutLines = 0;  // lines left out: cut off in the middle, or not JSON
};

// Folds the journal as it is read, one line at a time, and hands each run to `take` as soon as it
// has ended, so that a journal of any size takes the memory of one run. False, with the reason
// in plain words, when the file cannot be read or is not a session journal of a schema this
// program reads. `cutLines` counts the lines left out.
bool FoldJournal(const QString& path, const std::function<void(RunRecord run)>& take, int& cutLines,
                 QString& error);
// The same, every run gathered in `out`.
bool FoldJournal(const QString& path, JournalRuns& out, QString& error);

}  // namespace mv62rec
