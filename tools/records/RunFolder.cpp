#include "records/RunFolder.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <set>
#include <utility>

#include "RecordFiles.h"
#include "Recovery.h"

namespace mv62tool {

using namespace mv62rec;

bool ReadableFolder(const QString& folder, QString& error) {
    const QFileInfo info(folder);
    if (!info.exists()) {
        error = QString("the records folder %1 does not exist").arg(folder);
        return false;
    }
    if (!info.isDir() || !info.isReadable()) {
        error = QString("%1 is not a folder that can be read").arg(folder);
        return false;
    }
    return true;
}

bool FindRuns(const QString& folder, std::vector<FoundRun>& runs, QStringList& problems,
              QString& error) {
    if (!ReadableFolder(folder, error)) {
        return false;
    }
    QDirIterator it(folder, {"*.json"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        FoundRun found{path, {}, {}};
        QString why;
        if (!LoadRunRecord(path, found.run, why)) {
            problems << QString("%1: %2").arg(path, why);
            continue;
        }
        found.started = QDateTime::fromString(found.run.started, Qt::ISODateWithMs).toUTC();
        runs.push_back(std::move(found));
    }
    std::ranges::sort(runs, [](const FoundRun& a, const FoundRun& b) {
        return a.started != b.started ? a.started > b.started : a.path > b.path;
    });
    problems.sort();
    return true;
}

bool RunFilter::Accepts(const FoundRun& r) const {
    return (device.isEmpty() || r.run.device.contains(device, Qt::CaseInsensitive)) &&
           (!since || r.started >= *since) && (!outcome || r.run.outcome == *outcome);
}

std::optional<QDateTime> ParseSince(const QString& text) {
    if (const QDate day = QDate::fromString(text, Qt::ISODate); day.isValid()) {
        return day.startOfDay().toUTC();
    }
    if (const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs); t.isValid()) {
        return t.toUTC();
    }
    return std::nullopt;
}

std::optional<Outcome> ParseOutcome(const QString& text) {
    for (Outcome o : {Outcome::Pass, Outcome::Fail, Outcome::Incomplete}) {
        if (text.compare(OutcomeName(o), Qt::CaseInsensitive) == 0) {
            return o;
        }
    }
    return std::nullopt;
}

bool RecoverRuns(const QString& folder, QStringList& written, QStringList& problems,
                 QString& error) {
    std::vector<FoundRun> runs;
    if (!FindRuns(folder, runs, problems, error)) {
        return false;
    }
    // A run is known by its journal's file name and its number there: the folder may have moved.
    std::set<std::pair<QString, int>> recorded;
    for (const FoundRun& r : runs) {
        recorded.insert({QFileInfo(r.run.journal).fileName(), r.run.journalRun});
    }
    QStringList journals;
    QDirIterator it(folder, {"*_journal.jsonl"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        journals << it.next();
    }
    journals.sort();
    for (const QString& journal : journals) {
        JournalRuns found;
        QString why;
        if (!FoldJournal(journal, found, why)) {
            problems << QString("%1: %2").arg(journal, why);
            continue;
        }
        if (found.cutLines > 0) {
            problems << QString("%1: %2 line(s) cut off or not JSON; the complete lines were used")
                            .arg(journal)
                            .arg(found.cutLines);
        }
        // The records go where the station puts them: the day folders beside the journal's.
        const QString root = QFileInfo(QFileInfo(journal).absolutePath()).absolutePath();
        for (const RunRecord& run : found.runs) {
            if (recorded.contains({QFileInfo(journal).fileName(), run.journalRun})) {
                continue;
            }
            const QString path = FreePath(RunRecordFileName(root, run));
            if (!CreateFolder(QFileInfo(path).absolutePath(), why) ||
                !WriteRunRecord(path, run, why)) {
                problems << QString("%1: cannot write the record: %2").arg(path, why);
                continue;
            }
            written << path;
        }
    }
    return true;
}

bool IsNewestIndex(const QString& run, int& n) {
    static const QRegularExpression kIndex("^-([1-9][0-9]{0,8})$");
    const QRegularExpressionMatch m = kIndex.match(run);
    if (!m.hasMatch() || QFileInfo::exists(run)) {
        return false;
    }
    n = m.captured(1).toInt();
    return true;
}

}  // namespace mv62tool
