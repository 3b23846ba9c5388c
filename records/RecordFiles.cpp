#include "RecordFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace mv62rec {

namespace {

constexpr int kLongestDevicePart = 40;

// The day folder and the time stamp of a moment written as IsoTime() writes it.
struct Stamp {
    QString day;
    QString time;
};

Stamp StampOf(const QString& iso) {
    // Read with its own offset, the date and time are the station's wall clock at that moment.
    QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!t.isValid()) {
        t = QDateTime::currentDateTime();
    }
    return {t.toString("yyyy-MM-dd"), t.toString("yyyyMMdd-HHmmss.zzz")};
}

bool SyncFolder(const QString& path) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#else
    Q_UNUSED(path);
    return true;
#endif
}

}  // namespace

QString DefaultRecordsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/mv62-station/records";
}

QString FileNamePart(const QString& text) {
    static const QRegularExpression kUnsafe("[^A-Za-z0-9._-]+");
    QString part = text.trimmed();
    part.replace(kUnsafe, "-");
    part = part.left(kLongestDevicePart);
    while (part.startsWith('-') || part.startsWith('.')) {
        part.remove(0, 1);
    }
    while (part.endsWith('-')) {
        part.chop(1);
    }
    return part.isEmpty() ? QString("unidentified") : part;
}

QString JournalFileName(const QString& root, const QString& iso, const QString& device) {
    const Stamp s = StampOf(iso);
    return root + '/' + s.day + '/' + s.time + '_' + FileNamePart(device) + "_journal.jsonl";
}

QString RunRecordFileName(const QString& root, const RunRecord& run) {
    const Stamp s = StampOf(run.started);
    return root + '/' + s.day + '/' + s.time + '_' + FileNamePart(run.device) + '_' +
           RunKindName(run.kind) + '_' + OutcomeName(run.outcome) + ".json";
}

QString FreePath(const QString& path) {
    if (!QFileInfo::exists(path)) {
        return path;
    }
    const QString suffix = QFileInfo(path).suffix();
    const QString stem = path.left(path.size() - suffix.size() - 1);
    for (int n = 2;; ++n) {
        const QString candidate = QString("%1-%2.%3").arg(stem).arg(n).arg(suffix);
        if (!QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
}

bool CreateFolder(const QString& path, QString& error) {
    std::error_code ec;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), ec);
    if (ec) {
        error = QString::fromLocal8Bit(ec.message().c_str());
        return false;
    }
    if (!QFileInfo(path).isDir()) {
        error = "it is not a folder";
        return false;
    }
    return true;
}

bool CommitAtomically(QSaveFile& file, QString& error) {
    // QSaveFile has written a temporary file in the same folder; commit syncs it and renames it.
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    SyncFolder(QFileInfo(file.fileName()).absolutePath());
    return true;
}

bool WriteRunRecord(const QString& path, const RunRecord& run, QString& error) {
    if (QFileInfo::exists(path)) {
        error = "a file of that name is already there";
        return false;
    }
    QSaveFile file(path);
    const QByteArray data = QJsonDocument(run.ToJson()).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        error = file.errorString();
        return false;
    }
    return CommitAtomically(file, error);
}

bool SyncToDisk(QFile& file) {
#ifdef Q_OS_UNIX
    return file.isOpen() && ::fsync(file.handle()) == 0;
#else
    return file.flush();
#endif
}

}  // namespace mv62rec
