#include "Recovery.h"

#include <QFileInfo>

#include "Journal.h"
#include "RecordVocabulary.h"
#include "RunBuilder.h"

namespace mv62rec {

bool FoldJournal(const QString& path, const std::function<void(RunRecord run)>& take, int& cutLines,
                 QString& error) {
    cutLines = 0;
    JournalReader reader;
    if (!reader.Open(path, error)) {
        return false;
    }
    QJsonObject event;
    if (!reader.Next(event) || event[key::Event].toString() != event::LinkOpened) {
        error = "not a session journal (its first line does not open a link)";
        return false;
    }
    if (const QString schema = event[key::Schema].toString(); schema != schema::Journal) {
        error = QString("a session journal of the unknown schema \"%1\" (this program reads %2)")
                    .arg(schema, schema::Journal);
        return false;
    }
    RunBuilder builder;
    const auto hand = [&](std::optional<RunRecord> run) {
        if (run) {
            run->journal = path;
            if (run->runId.isEmpty()) {  // a journal of a station that did not name its runs
                run->runId = DerivedRunId(QFileInfo(path).fileName(), run->journalRun);
            }
            take(std::move(*run));
        }
    };
    QJsonObject last;
    do {
        hand(builder.Feed(event).ended);
        last = std::move(event);
    } while (reader.Next(event));
    hand(builder.Cut(reason::Recovered, last[key::Time].toString(), last[key::Ms].toInteger()));
    cutLines = reader.CutLines();
    return true;
}

bool FoldJournal(const QString& path, JournalRuns& out, QString& error) {
    out = {};
    return FoldJournal(
        path, [&](RunRecord run) { out.runs.push_back(std::move(run)); }, out.cutLines, error);
}

}  // namespace mv62rec
