#include "records/StatsSource.h"

#include "records/FolderIndex.h"

namespace mv62tool {

bool ForEachRunSample(mv62rec::ResultsStore& store, const QString& folder,
                      const RunFilter& selection,
                      const std::function<void(const mv62rec::RunSample&)>& take,
                      QStringList& problems, QString& error) {
    QStringList unreadable;
    if (!store.ForEachSample(selection, take, unreadable, error)) {
        return false;
    }
    for (const QString& line : unreadable) {
        problems << (folder.isEmpty() ? line : UnderFolder(folder, line));
    }
    return true;
}

}  // namespace mv62tool
