#include "records/StatsCommand.h"

#include "records/Dashboard.h"
#include "records/FolderIndex.h"
#include "records/StatsViews.h"

namespace mv62tool {

using namespace mv62rec;

bool StatsOutput(const QString& command, RunSource& source, const RunFilter& filter,
                 const StatsRequest& request, QByteArray& out, QStringList& problems,
                 QString& error) {
    StatsEngine engine;
    const auto add = [&engine](const RunSample& run) { engine.Add(run); };
    QStringList unreadable;
    if (!source.store->ForEachSample(filter, add, unreadable, error)) {
        return false;
    }
    // The index names its files within the folder; a line's database within its bench's folder.
    for (const QString& line : unreadable) {
        problems << (source.folder.isEmpty() ? line : UnderFolder(source.folder, line));
    }
    const StatsReport report = engine.Report();
    if (command == "dashboard") {
        const QStringList words = QStringList{source.Name()} + request.filters;
        out = DashboardPage(report, words.join(" \u00b7 "));
    } else if (request.format == "json") {
        out = StatsJson(report);
    } else if (request.format == "csv") {
        out = StatsCsv(report);
    } else {
        out = StatsText(report).toUtf8();
    }
    return true;
}

}  // namespace mv62tool
