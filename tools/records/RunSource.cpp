#include "records/RunSource.h"

#include "records/FolderIndex.h"

namespace mv62tool {

using namespace mv62rec;

QString RunSource::Name() const {
    return folder.isEmpty() ? store->Name() : folder;
}

bool OpenRunSource(const QString& folder, const QString& databaseUri, ProgressLine* progress,
                   RunSource& source, QStringList& notes, QStringList& problems, QString& error) {
    source = {};
    if (!databaseUri.isEmpty()) {
        source.store = ResultsStore::OpenDatabase(databaseUri, false, error);
        return source.store != nullptr;
    }
    FolderIndex index;
    IndexOptions options;
    options.progress = progress;
    if (!OpenFolderIndex(folder, options, index, notes, problems, error)) {
        return false;
    }
    source.store = std::move(index.store);
    source.folder = folder;
    return true;
}

bool WholeRun(const RunSource& source, const StoredRun& run, const QByteArray& record,
              FoundRun& found, QString& error) {
    if (source.folder.isEmpty()) {
        QJsonObject object;
        found = {run.file, {}, false};
        if (!RecordObjectFrom(record, object, error) ||
            !RunRecord::FromJson(object, found.run, error)) {
            error = QString("%1 in %2: %3").arg(run.file, source.Name(), error);
            return false;
        }
        return true;
    }
    found = {UnderFolder(source.folder, run.file), {}, true};
    if (!LoadRunRecord(found.path, found.run, error)) {
        error = QString("%1: %2").arg(found.path, error);
        return false;
    }
    return true;
}

}  // namespace mv62tool
