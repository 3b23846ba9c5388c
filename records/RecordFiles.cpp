#include "RecordFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "RecordVocabulary.h"

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

constexpr char kNameTaken[] = "a file of that name is already there";

#ifdef Q_OS_UNIX

// Writes all of `size` bytes, going on after a partial write or a signal; 0 or the errno.
int WriteAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return ENOSPC;  // a regular file that takes nothing has no room left
        }
        data += n;
        size -= n;
    }
    return 0;
}

// 0 or the errno; a file system that keeps nothing to sync (EINVAL) is not a failure.
int Sync(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

int SyncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int result = Sync(fd);
    ::close(fd);
    return result;
}

// The file a whole file is written to before it takes its name.
struct Temporary {
    int fd = -1;
    QByteArray name;  // empty for an unnamed file
};

// An unnamed file in `folder` where the system has them (a crash then leaves nothing behind),
// else a hidden one with a random name beside the target. 0 or the errno.
int OpenTemporary(const QByteArray& folder, const QByteArray& fileName, bool unnamed,
                  Temporary& temp) {
#ifdef O_TMPFILE
    // The unnamed file gets its name through /proc (linkat with AT_EMPTY_PATH needs privileges).
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    if (unnamed && procFds) {
        temp.fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (temp.fd >= 0) {
            return 0;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return errno;
        }
    }
#else
    Q_UNUSED(unnamed);
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp.name = folder + "/." + fileName + '.' +
                    QByteArray::number(QRandomGenerator::global()->generate(), 36);
        temp.fd = ::open(temp.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (temp.fd >= 0 || errno != EEXIST) {
            return temp.fd >= 0 ? 0 : errno;
        }
    }
    return EEXIST;
}

// Gives the written temporary file the name `target`. 0 or the errno (EEXIST: the name is taken).
int TakeName(const Temporary& temp, const QByteArray& target, IfTaken ifTaken) {
    if (temp.name.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(temp.fd);
        return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(),
                        AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    }
    if (ifTaken == IfTaken::Replace) {
        return ::rename(temp.name.constData(), target.constData()) == 0 ? 0 : errno;
    }
    // link(2) refuses a taken name where rename(2) would replace the file.
    if (::link(temp.name.constData(), target.constData()) == 0) {
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return errno;
    }
    // A file system without hard links (FAT): looked at, then renamed.
    if (::access(target.constData(), F_OK) == 0) {
        return EEXIST;
    }
    return ::rename(temp.name.constData(), target.constData()) == 0 ? 0 : errno;
}

QString KindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a special file";
}

#endif  // Q_OS_UNIX

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
    return QDir(root).filePath(s.day + '/' + s.time + '_' + FileNamePart(device) + kJournalSuffix);
}

QString RunRecordFileName(const QString& root, const RunRecord& run) {
    const Stamp s = StampOf(run.started);
    const QString serial =
        run.unitSerial.isEmpty() ? QString() : FileNamePart(run.unitSerial) + '_';
    return QDir(root).filePath(s.day + '/' + s.time + '_' + serial + FileNamePart(run.device) +
                               '_' + RunKindName(run.kind) + '_' + OutcomeName(run.outcome) +
                               ".json");
}

QString FreePath(const QString& path) {
    if (!QFileInfo::exists(path)) {
        return path;
    }
    const QString suffix = QFileInfo(path).suffix();
    const QString stem = path.left(path.size() - suffix.size() - 1);
    for (int n = 2;; ++n) {
        const QString candidate = stem + '-' + QString::number(n) + '.' + suffix;
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

bool WriteFileWhole(const QString& path, const QByteArray& data, IfTaken ifTaken, QString& error) {
#ifdef Q_OS_UNIX
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    Temporary temp;
    bool named = false;  // the file is under `target`
    int code =
        OpenTemporary(folder, QFile::encodeName(info.fileName()), ifTaken == IfTaken::Fail, temp);
    if (code == 0) {
        code = WriteAll(temp.fd, data.constData(), data.size());
    }
    if (code == 0) {
        code = Sync(temp.fd);
    }
    if (code == 0) {
        code = TakeName(temp, target, ifTaken);
        named = code == 0;
    }
    if (temp.fd >= 0 && ::close(temp.fd) != 0 && code == 0) {
        code = errno;
    }
    if (code == 0) {
        code = SyncFolder(folder);
    }
    if (!temp.name.isEmpty()) {
        ::unlink(temp.name.constData());  // still there unless it was renamed
    }
    if (code != 0) {
        if (named) {
            ::unlink(target.constData());
        }
        error = code == EEXIST ? QString(kNameTaken) : qt_error_string(code);
        return false;
    }
    return true;
#else
    // Elsewhere QSaveFile, unbuffered so that a failed write is its own error.
    if (ifTaken == IfTaken::Fail && QFileInfo::exists(path)) {
        error = kNameTaken;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(data) != data.size() || !file.commit()) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
#endif
}

bool WriteRunRecord(const QString& path, const RunRecord& run, QString& error) {
    return WriteFileWhole(path, run.ToFile(), IfTaken::Fail, error);
}

bool WriteToFile(QFile& file, const QByteArray& data, QString& error) {
#ifdef Q_OS_UNIX
    if (const int code = WriteAll(file.handle(), data.constData(), data.size()); code != 0) {
        error = qt_error_string(code);
        return false;
    }
    return true;
#else
    if (file.write(data) != data.size() || !file.flush()) {
        error = file.errorString();
        return false;
    }
    return true;
#endif
}

bool SyncToDisk(QFile& file) {
#ifdef Q_OS_UNIX
    return file.isOpen() && Sync(file.handle()) == 0;
#else
    return file.flush();
#endif
}

bool OpenRegularFile(QFile& file, const QString& path, qint64 most, QString& error) {
    const QString tooLarge = QString("larger than %1 MiB").arg(most >> 20);
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    // What the name stands for is looked at before it is opened (opening a device can do
    // something, a FIFO waits for a writer), and again once it is open, should another file
    // have taken the name in between.
    struct stat st {};
    int fd = -1;
    const auto refused = [&](const QString& why) {
        error = why;
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    };
    const auto usable = [&] {
        return !S_ISREG(st.st_mode) ? refused(KindOfFile(st.st_mode) + ", not a file")
               : st.st_size > most  ? refused(tooLarge)
                                    : true;
    };
    if (::stat(name.constData(), &st) != 0) {
        return refused(qt_error_string(errno));
    }
    if (!usable()) {
        return false;
    }
    fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return refused(qt_error_string(errno));
    }
    if (!usable()) {
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return refused(file.errorString());
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        error = info.isDir() ? "a folder, not a file" : "a special file, not a file";
        return false;
    }
    if (info.size() > most) {
        error = tooLarge;
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    return true;
#endif
}

}  // namespace mv62rec
