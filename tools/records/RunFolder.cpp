#include "records/RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <utility>

#include "RecordFiles.h"
#include "RecordVocabulary.h"
#include "Recovery.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

namespace fs = std::filesystem;

// How long a recover waits for another one in the same folder to finish.
constexpr auto kRecoverWait = std::chrono::seconds(5);

}  // namespace

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

namespace {

// Adds every name under `folder` and its folders that ends in `suffix` (whatever it is: reading
// it says whether it is a file). A folder that cannot be read is named in `problems`; hidden
// names are passed over, as the station writes none.
void AddNamesEndingIn(const fs::path& folder, const std::string& suffix, QStringList& names,
                      QStringList& problems) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().native();
        std::error_code ignored;
        if (name.starts_with('.')) {
            continue;
        }
        // A link to a folder is not followed: it could lead back up.
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            AddNamesEndingIn(it->path(), suffix, names, problems);
        } else if (name.ends_with(suffix)) {
            names << QFile::decodeName(it->path().c_str());
        }
    }
    if (ec) {
        problems << QString("%1: cannot read this folder: %2")
                        .arg(QFile::decodeName(folder.c_str()),
                             QString::fromLocal8Bit(ec.message().c_str()));
    }
}

QStringList NamesEndingIn(const QString& folder, const char* suffix, QStringList& problems) {
    QStringList names;
    AddNamesEndingIn(fs::path(QFile::encodeName(folder).toStdString()), suffix, names, problems);
    names.sort();
    return names;
}

// One recover at a time in a records folder: an advisory lock on a file there, which the system
// lets go however the process ends.
class RecoverLock {
  public:
    ~RecoverLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool Take(const QString& folder, QString& error) {
        const QString path = folder + "/.mv62-recover.lock";
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            error = QString("cannot lock %1 for recover: %2").arg(path, qt_error_string(errno));
            return false;
        }
        const auto until = std::chrono::steady_clock::now() + kRecoverWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                error = QString("cannot lock %1 for recover: %2").arg(path, qt_error_string(errno));
                return false;
            }
            if (std::chrono::steady_clock::now() >= until) {
                error = QString("another recover is running in %1: try again when it has finished")
                            .arg(folder);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

  private:
    int fd_ = -1;
};

}  // namespace

bool RecoverRuns(const QString& folder, QStringList& written, QStringList& problems,
                 QString& error) {
    RecoverLock lock;
    if (!ReadableFolder(folder, error) || !lock.Take(folder, error)) {
        return false;
    }
    // A run is known by its journal's file name and its number there: the folder may have moved.
    // Only that is kept of each record, and each journal's runs are written as they are folded.
    std::set<std::pair<QString, int>> recorded;
    for (const QString& path : NamesEndingIn(folder, ".json", problems)) {
        RunRecord run;
        QString why;
        if (!LoadRunRecord(path, run, why)) {
            problems << QString("%1: %2").arg(path, why);
            continue;
        }
        recorded.insert({QFileInfo(run.journal).fileName(), run.journalRun});
    }
    for (const QString& journal : NamesEndingIn(folder, kJournalSuffix, problems)) {
        const QString name = QFileInfo(journal).fileName();
        // The records go where the station puts them: the day folders beside the journal's.
        const QString root = QFileInfo(QFileInfo(journal).absolutePath()).absolutePath();
        const auto recover = [&](RunRecord run) {
            if (recorded.contains({name, run.journalRun})) {
                return;
            }
            const QString path = FreePath(RunRecordFileName(root, run));
            QString why;
            if (!CreateFolder(QFileInfo(path).absolutePath(), why) ||
                !WriteRunRecord(path, run, why)) {
                problems << QString("%1: cannot write the record: %2").arg(path, why);
                return;
            }
            written << path;
        };
        int cutLines = 0;
        QString why;
        if (!FoldJournal(journal, recover, cutLines, why)) {
            problems << QString("%1: %2").arg(journal, why);
        } else if (cutLines > 0) {
            problems << QString("%1: %2 line(s) cut off or not JSON; the complete lines were used")
                            .arg(journal, QString::number(cutLines));
        }
    }
    return true;
}

}  // namespace mv62tool
