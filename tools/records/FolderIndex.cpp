#include "records/FolderIndex.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "RecordVocabulary.h"
#include "RunRows.h"
#include "records/Progress.h"
#include "records/RunFolder.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

namespace fs = std::filesystem;

// Files read between two commits: a long first build keeps what it has done when it is stopped,
// and another command waiting for the index gets its turn.
constexpr std::size_t kFilesPerCommit = 1000;
// A folder changed this close to the moment it was looked at may change again within the same
// tick of the file system's clock without its time changing: it is listed again next time.
constexpr qint64 kSettledNs = 1'000'000'000;

// What says that a file is the one read before: its size, time of change and inode.
struct FileStamp {
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};

qint64 NanosecondsOf(const timespec& t) {
    return static_cast<qint64>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The file a name leads to (a link is followed); none when there is none.
std::optional<FileStamp> StampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return FileStamp{st.st_size, NanosecondsOf(st.st_mtim), static_cast<qint64>(st.st_ino)};
}

QString Join(const QString& folder, const QString& name) {
    return folder.isEmpty() ? name : folder + '/' + name;
}

QVariant Nullable(const std::optional<qint64>& v) {
    return v ? QVariant::fromValue<qlonglong>(*v) : QVariant(QMetaType::fromType<qlonglong>());
}

QVariant TextOrNull(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

struct KnownFile {
    QString path;  // relative to the records folder
    std::optional<FileStamp> stamp;
    QString runId;    // the run it gave (or gave a second time)
    QString problem;  // why it is not read as a run
};

struct KnownFolder {
    QString parent;
    std::optional<qint64> mtimeNs;  // none: to be listed again
};

// A file read and waiting to be written to the index with the others of its batch.
struct ReadFile {
    QString path;
    QString folder;
    std::optional<FileStamp> stamp;
    std::optional<RunRow> row;
    QString problem;
};

class Update {
  public:
    Update(FolderIndex& index, const IndexOptions& options, QStringList& problems)
        : store_(*index.store),
          db_(index.store->Connection()),
          root_(index.folder),
          options_(options),
          problems_(problems) {}

    // Whether a file was read or forgotten.
    bool Changed() const { return changed_; }

    bool Run(QString& error) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        lookedAt_ = NanosecondsOf(now);
        const bool done = Load() && Recheck() && Walk(QString(), QString()) && Flush() &&
                          ReadAgain() && Flush() && Commit() && Problems();
        if (!done) {
            if (writing_) {
                store_.Rollback();
            }
            error = QString("the index %1: %2").arg(store_.Name(), error_);
        }
        return done;
    }

  private:
    bool Fail(const QSqlQuery& q) {
        error_ = OneLine(q.lastError().text());
        return false;
    }

    bool Exec(QSqlQuery& q, const QString& sql, const QVariantList& values) {
        q.setForwardOnly(true);
        if (!q.prepare(sql)) {
            return Fail(q);
        }
        for (const QVariant& v : values) {
            q.addBindValue(v);
        }
        return q.exec() || Fail(q);
    }

    // A transaction opened when the first change is to be written: an index that is up to date
    // is only read.
    bool Writing() {
        if (!writing_ && !store_.Begin(error_)) {
            return false;
        }
        writing_ = true;
        return true;
    }

    bool Commit() {
        if (writing_ && !store_.Commit(error_)) {
            return false;
        }
        writing_ = false;
        return true;
    }

    bool Stopped() const { return options_.stop && options_.stop(); }

    bool Load() {
        QSqlQuery q(db_);
        if (!Exec(q, "SELECT path, parent, mtime_ns FROM folders", {})) {
            return false;
        }
        while (q.next()) {
            const QString path = q.value(0).toString();
            folders_[path] = {q.value(1).toString(), q.isNull(2) ? std::nullopt
                                                                  : std::optional(q.value(2).toLongLong())};
            if (!path.isEmpty()) {
                children_.insert({q.value(1).toString(), path});
            }
        }
        return true;
    }

    static KnownFile FileAt(const QSqlQuery& q) {
        KnownFile f{q.value(0).toString(), std::nullopt, q.value(4).toString(), q.value(5).toString()};
        if (!q.isNull(1)) {
            f.stamp = FileStamp{q.value(1).toLongLong(), q.value(2).toLongLong(),
                                q.value(3).toLongLong()};
        }
        return f;
    }

    bool FilesIn(const QString& folder, std::map<QString, KnownFile>& files) {
        QSqlQuery q(db_);
        if (!Exec(q,
                  "SELECT path, size, mtime_ns, inode, run_id, problem FROM files WHERE folder = ?",
                  {folder})) {
            return false;
        }
        while (q.next()) {
            KnownFile f = FileAt(q);
            files.emplace(f.path, std::move(f));
        }
        return true;
    }

    // A file that was not a record is looked at again when it changes, even where its folder
    // did not (a file written over in place).
    bool Recheck() {
        QSqlQuery q(db_);
        if (!Exec(q,
                  "SELECT path, size, mtime_ns, inode, run_id, problem, folder FROM files WHERE "
                  "problem IS NOT NULL",
                  {})) {
            return false;
        }
        std::vector<std::pair<KnownFile, QString>> changed;
        while (q.next()) {
            KnownFile f = FileAt(q);
            if (StampOf(UnderFolder(root_, f.path)) != f.stamp) {
                changed.emplace_back(std::move(f), q.value(6).toString());
            }
        }
        for (const auto& [f, folder] : changed) {
            if (!Read(f.path, folder, f)) {
                return false;
            }
        }
        return Flush();
    }

    bool Walk(const QString& rel, const QString& parent) {
        const QString path = UnderFolder(root_, rel);
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        if (::stat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            ::access(name.constData(), R_OK | X_OK) != 0) {
            problems_ << QString("%1: cannot read this folder: %2").arg(path, qt_error_string(errno));
            return ForgetFolder(rel);
        }
        const qint64 mtime = NanosecondsOf(st.st_mtim);
        const auto known = folders_.find(rel);
        if (known != folders_.end() && known->second.mtimeNs == mtime) {
            // Nothing came or went here; a folder under it may have changed.
            return WalkKnownFolders(rel);
        }
        QStringList files, folders;
        std::error_code ec;
        for (fs::directory_iterator it(fs::path(name.toStdString()), ec);
             !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string entry = it->path().filename().native();
            std::error_code ignored;
            // Hidden names are not the station's: the index itself, temporary files.
            if (entry.starts_with('.')) {
                continue;
            }
            // A link to a folder is not followed: it could lead back up.
            if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
                folders << QFile::decodeName(entry.c_str());
            } else if (entry.ends_with(".json")) {
                files << QFile::decodeName(entry.c_str());
            }
        }
        if (ec) {
            problems_ << QString("%1: cannot read this folder: %2")
                             .arg(path, QString::fromLocal8Bit(ec.message().c_str()));
            return ForgetFolder(rel);
        }
        files.sort();
        folders.sort();
        std::map<QString, KnownFile> before;
        if (!FilesIn(rel, before)) {
            return false;
        }
        for (const QString& file : files) {
            const QString relFile = Join(rel, file);
            auto node = before.extract(relFile);
            if (Stopped()) {
                stopped_ = true;
                return true;
            }
            if (!node.empty() && node.mapped().stamp == StampOf(UnderFolder(root_, relFile))) {
                continue;
            }
            if (!Read(relFile, rel, node.empty() ? std::nullopt : std::optional(node.mapped()))) {
                return false;
            }
        }
        for (const auto& [path, gone] : before) {
            if (!ForgetFile(gone)) {
                return false;
            }
        }
        const auto [first, last] = children_.equal_range(rel);
        QStringList goneFolders;
        for (auto it = first; it != last; ++it) {
            if (!folders.contains(it->second.mid(rel.isEmpty() ? 0 : rel.size() + 1))) {
                goneFolders << it->second;
            }
        }
        for (const QString& gone : goneFolders) {
            if (!ForgetFolder(gone)) {
                return false;
            }
        }
        // The folder's files are in the index before its time is: a command stopped halfway
        // lists it again.
        if (!Flush() || !NoteFolder(rel, parent, mtime)) {
            return false;
        }
        for (const QString& folder : folders) {
            if (!Walk(Join(rel, folder), rel)) {
                return false;
            }
            if (stopped_) {
                return true;
            }
        }
        return true;
    }

    bool WalkKnownFolders(const QString& rel) {
        std::vector<QString> children;
        const auto [first, last] = children_.equal_range(rel);
        for (auto it = first; it != last; ++it) {
            children.push_back(it->second);
        }
        for (const QString& child : children) {
            if (!Walk(child, rel)) {
                return false;
            }
            if (stopped_) {
                return true;
            }
        }
        return true;
    }

    bool NoteFolder(const QString& rel, const QString& parent, qint64 mtime) {
        const std::optional<qint64> settled =
            mtime < lookedAt_ - kSettledNs ? std::optional(mtime) : std::nullopt;
        const auto known = folders_.find(rel);
        if (known != folders_.end() && known->second.parent == parent &&
            known->second.mtimeNs == settled) {
            return true;
        }
        QSqlQuery q(db_);
        if (!Writing() ||
            !Exec(q,
                  "INSERT INTO folders (path, parent, mtime_ns) VALUES (?, ?, ?) ON CONFLICT "
                  "(path) DO UPDATE SET parent = excluded.parent, mtime_ns = excluded.mtime_ns",
                  {rel, parent, Nullable(settled)})) {
            return false;
        }
        if (known == folders_.end() && !rel.isEmpty()) {
            children_.insert({parent, rel});
        }
        folders_[rel] = {parent, settled};
        return true;
    }

    // Reads a record file into the batch; `known` is what the index had of it.
    bool Read(const QString& relFile, const QString& folder, const std::optional<KnownFile>& known) {
        const QString path = UnderFolder(root_, relFile);
        ReadFile read{relFile, folder, StampOf(path), std::nullopt, {}};
        changed_ = true;
        if (known && !known->runId.isEmpty() && known->problem.isEmpty() &&
            !ForgetRun(known->runId, relFile)) {
            return false;
        }
        QByteArray bytes;
        RunRow row;
        if (ReadRecordBytes(path, bytes, read.problem) &&
            RunRowsFromRecord(bytes, relFile, row, read.problem)) {
            row.record.clear();  // the index reads it from its file
            read.row = std::move(row);
        }
        batch_.push_back(std::move(read));
        if (options_.progress != nullptr) {
            options_.progress->Show(++done_);
        }
        return batch_.size() < kFilesPerCommit || (Flush() && Commit());
    }

    // Writes the batch's runs, then what each file gave: a run, or why it is not one.
    bool Flush() {
        if (batch_.empty()) {
            return true;
        }
        if (!Writing()) {
            return false;
        }
        std::vector<RunRow> rows;
        for (ReadFile& f : batch_) {
            if (f.row) {
                rows.push_back(std::move(*f.row));
            }
        }
        std::vector<bool> added;
        if (!store_.AddRuns(rows, added, error_)) {
            return false;
        }
        QSqlQuery file(db_), first(db_);
        if (!file.prepare("INSERT INTO files (path, folder, size, mtime_ns, inode, run_id, problem)"
                          " VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (path) DO UPDATE SET"
                          " folder = excluded.folder, size = excluded.size,"
                          " mtime_ns = excluded.mtime_ns, inode = excluded.inode,"
                          " run_id = excluded.run_id, problem = excluded.problem")) {
            return Fail(file);
        }
        std::size_t r = 0;
        for (ReadFile& f : batch_) {
            QString runId;
            if (f.problem.isEmpty()) {
                const RunRow& row = rows[r];
                runId = row.runId;
                if (!added[r++]) {
                    if (!Exec(first, "SELECT file FROM runs WHERE run_id = ?", {runId})) {
                        return false;
                    }
                    const QString other = first.next() ? first.value(0).toString() : QString();
                    first.finish();
                    if (other != f.path) {
                        f.problem = QString("the run %1 a second time (also in %2); read once")
                                        .arg(runId, UnderFolder(root_, other));
                    }
                }
            }
            const QVariantList values = {
                f.path,
                f.folder,
                Nullable(f.stamp ? std::optional(f.stamp->size) : std::nullopt),
                Nullable(f.stamp ? std::optional(f.stamp->mtimeNs) : std::nullopt),
                Nullable(f.stamp ? std::optional(f.stamp->inode) : std::nullopt),
                TextOrNull(runId),
                TextOrNull(f.problem)};
            for (int v = 0; v < values.size(); ++v) {
                file.bindValue(v, values[v]);
            }
            if (!file.exec()) {
                return Fail(file);
            }
        }
        batch_.clear();
        return true;
    }

    // Forgets the run a file gave, if the index holds it from that file; files that held the
    // same run a second time are read again.
    bool ForgetRun(const QString& runId, const QString& relFile) {
        QSqlQuery q(db_);
        if (!Writing() || !Exec(q, "SELECT file FROM runs WHERE run_id = ?", {runId})) {
            return false;
        }
        const bool ours = q.next() && q.value(0).toString() == relFile;
        q.finish();
        if (!ours) {
            return true;
        }
        if (!store_.RemoveRun(runId, error_) ||
            !Exec(q,
                  "SELECT path, folder FROM files WHERE run_id = ? AND problem IS NOT NULL AND "
                  "path <> ?",
                  {runId, relFile})) {
            return false;
        }
        while (q.next()) {
            readAgain_.emplace_back(q.value(0).toString(), q.value(1).toString());
        }
        return true;
    }

    bool ForgetFile(const KnownFile& f) {
        changed_ = true;
        QSqlQuery q(db_);
        return Writing() && Exec(q, "DELETE FROM files WHERE path = ?", {f.path}) &&
               (f.runId.isEmpty() || !f.problem.isEmpty() || ForgetRun(f.runId, f.path));
    }

    // Forgets a folder that is gone or cannot be read, with its files and folders.
    bool ForgetFolder(const QString& rel) {
        if (!folders_.contains(rel)) {
            return true;
        }
        std::vector<QString> children;
        const auto [first, last] = children_.equal_range(rel);
        for (auto it = first; it != last; ++it) {
            children.push_back(it->second);
        }
        for (const QString& child : children) {
            if (!ForgetFolder(child)) {
                return false;
            }
        }
        std::map<QString, KnownFile> files;
        if (!Flush() || !FilesIn(rel, files)) {
            return false;
        }
        for (const auto& [path, f] : files) {
            if (!ForgetFile(f)) {
                return false;
            }
        }
        QSqlQuery q(db_);
        if (!Exec(q, "DELETE FROM folders WHERE path = ?", {rel})) {
            return false;
        }
        const QString parent = folders_[rel].parent;
        for (auto [it, end] = children_.equal_range(parent); it != end; ++it) {
            if (it->second == rel) {
                children_.erase(it);
                break;
            }
        }
        folders_.erase(rel);
        return true;
    }

    // Files that held a run a second time, whose first file has gone.
    bool ReadAgain() {
        if (!Flush()) {
            return false;
        }
        for (const auto& [path, folder] : readAgain_) {
            if (!Read(path, folder, KnownFile{path, std::nullopt, {}, "read again"})) {
                return false;
            }
        }
        return true;
    }

    bool Problems() {
        QSqlQuery q(db_);
        if (!Exec(q, "SELECT path, problem FROM files WHERE problem IS NOT NULL", {})) {
            return false;
        }
        while (q.next()) {
            problems_ << UnderFolder(root_, q.value(0).toString()) + ": " + q.value(1).toString();
        }
        problems_.sort();
        return true;
    }

    ResultsStore& store_;
    QSqlDatabase& db_;
    const QString root_;
    const IndexOptions& options_;
    QStringList& problems_;
    QString error_;
    qint64 lookedAt_ = 0;
    std::map<QString, KnownFolder> folders_;
    std::multimap<QString, QString> children_;  // folder -> the folders in it
    std::vector<ReadFile> batch_;
    std::vector<std::pair<QString, QString>> readAgain_;
    bool writing_ = false;
    bool stopped_ = false;
    bool changed_ = false;
    qint64 done_ = 0;
};

void RemoveIndexFiles(const QString& file) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        QFile::remove(file + suffix);
    }
}

bool Clear(ResultsStore& store, QString& error) {
    if (!store.Begin(error)) {
        return false;
    }
    QSqlQuery q(store.Connection());
    // The acknowledgements stay: what a line's database holds does not change with the index.
    for (const char* table : {"measurements", "runs", "stations", "files", "folders"}) {
        if (!q.exec(QString("DELETE FROM %1").arg(table))) {
            error = OneLine(q.lastError().text());
            store.Rollback();
            return false;
        }
    }
    return store.Commit(error);
}

}  // namespace

QString UnderFolder(const QString& folder, const QString& relative) {
    if (relative.isEmpty()) {
        return folder;
    }
    return folder.endsWith('/') ? folder + relative : folder + '/' + relative;
}

bool UpdateFolderIndex(FolderIndex& index, const IndexOptions& options, QStringList& problems,
                       QString& error, bool* changed) {
    Update update(index, options, problems);
    const bool done = update.Run(error);
    if (changed != nullptr) {
        *changed = update.Changed();
    }
    return done;
}

bool OpenFolderIndex(const QString& folder, const IndexOptions& options, FolderIndex& index,
                     QStringList& notes, QStringList& problems, QString& error) {
    if (!ReadableFolder(folder, error)) {
        return false;
    }
    index = {};
    index.folder = folder;
    const QString file = UnderFolder(folder, kIndexFileName);
    const bool existed = QFileInfo::exists(file);
    QString why;
    if (!QFileInfo(folder).isWritable()) {
        notes << QString("the records folder %1 cannot be written: its index is kept in memory "
                         "for this command")
                     .arg(folder);
    } else if (existed && !QFileInfo(file).isWritable()) {
        notes << QString("the index %1 cannot be written: it is kept in memory for this command")
                     .arg(file);
    } else {
        bool newer = false;
        index.store = ResultsStore::OpenIndex(file, file, why, &newer);
        if (!index.store && newer && !options.rebuild) {
            error = why + ", or make the index anew with mv62-records reindex";
            return false;
        }
        if (!index.store && existed) {
            // The index is the files' copy: one that cannot be used is made anew.
            if (!options.rebuild) {
                notes << QString("the index %1 cannot be used (%2): it is made anew").arg(file, why);
            }
            RemoveIndexFiles(file);
            index.store = ResultsStore::OpenIndex(file, file, why);
        }
        if (index.store && options.rebuild && !Clear(*index.store, why)) {
            index.store.reset();
        }
        if (!index.store) {
            notes << QString("the index %1 cannot be kept there (%2): it is kept in memory for "
                             "this command")
                         .arg(file, why);
            if (!existed) {
                RemoveIndexFiles(file);
            }
        }
    }
    QStringList found;
    if (index.store && !UpdateFolderIndex(index, options, found, why)) {
        // A disk that filled halfway, say: this command still reads the folder.
        notes << QString("%1: it is kept in memory for this command").arg(why);
        index.store.reset();
        found.clear();
    }
    if (!index.store) {
        index.inMemory = true;
        index.store = ResultsStore::OpenIndex(QString(), "in memory", error);
        if (!index.store || !UpdateFolderIndex(index, options, found, error)) {
            return false;
        }
    }
    problems << found;
    return true;
}

}  // namespace mv62tool
