#include "Recovery.h"

#include <QFile>

#include "Journal.h"
#include "RunBuilder.h"

namespace mv62rec {

bool FoldJournal(const QString& path, JournalRuns& out, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    file.close();
    out = {};
    const std::vector<QJsonObject> events = ReadJournal(path, &out.cutLines);
    if (events.empty() || events.front()["event"].toString() != "link_opened") {
        error = "not a session journal (its first line does not open a link)";
        return false;
    }
    if (const QString schema = events.front()["schema"].toString(); schema != kJournalSchema) {
        error = QString("a session journal of the unknown schema \"%1\" (this program reads %2)")
                    .arg(schema, kJournalSchema);
        return false;
    }
    RunBuilder builder;
    for (const QJsonObject& event : events) {
        if (auto ended = builder.Feed(event).ended) {
            out.runs.push_back(std::move(*ended));
        }
    }
    const QJsonObject& last = events.back();
    if (auto cut = builder.Cut("recovered", last["time"].toString(), last["ms"].toInteger())) {
        out.runs.push_back(std::move(*cut));
    }
    for (RunRecord& run : out.runs) {
        run.journal = path;
    }
    return true;
}

}  // namespace mv62rec
