#include "records/Sync.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "ResultsStore.h"
#include "RunRows.h"
#include "records/FolderIndex.h"
#include "records/Progress.h"

namespace mv62tool {

using namespace mv62rec;
using std::chrono::milliseconds;

namespace {

// Runs sent in one transaction.
constexpr int kBatch = 500;
// How often a watching sync looks for new records: a few hundred stats of folders.
constexpr milliseconds kLookEvery{500};
// The wait before trying an absent server again doubles from 1 s up to this.
constexpr int kLongestWaitS = 30;

volatile std::sig_atomic_t gStop = 0;

extern "C" void OnStopSignal(int) {
    gStop = 1;
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// A batch goes to the server as texts of several MiB (the records' bytes above all), which Qt's
// driver copies a few times as it writes the bound values into its statement. glibc gives blocks
// that large a mapping of their own and unmaps them when they are freed, so every copy of every
// batch faulted its pages in anew: a third of the sender's time. Freed memory is kept for the
// next batch instead; the peak stays that of one batch.
void KeepLargeBlocks() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

// Waits `time` in short steps; false when a stop signal came.
bool Pause(milliseconds time) {
    constexpr milliseconds kStep{50};
    for (milliseconds waited{0}; waited < time && gStop == 0; waited += kStep) {
        std::this_thread::sleep_for(kStep);
    }
    return gStop == 0;
}

class Sender {
  public:
    Sender(const SyncOptions& options, const std::function<void(const QString&)>& say,
           const std::function<void(const QString&)>& print)
        : options_(options), say_(say), print_(print) {}

    int Run() {
        CatchStopSignals();
        KeepLargeBlocks();
        QStringList notes, problems;
        QString error;
        ProgressLine progress("indexing");
        IndexOptions indexing;
        indexing.progress = &progress;
        indexing.stop = [] { return gStop != 0; };
        const bool opened =
            OpenFolderIndex(options_.folder, indexing, index_, notes, problems, error);
        progress.Clear();
        if (!opened) {
            say_(error);
            return 1;
        }
        for (const QString& note : notes) {
            say_(note);
        }
        Report(problems);
        int wait = 1;
        while (gStop == 0) {
            if (!database_ && !Connect()) {
                if (!fatal_.isEmpty()) {
                    say_(fatal_);
                    return 1;
                }
                if (!options_.watch) {
                    return 1;
                }
                if (!Pause(std::chrono::seconds(wait))) {
                    break;
                }
                wait = std::min(2 * wait, kLongestWaitS);
                if (!Refresh()) {
                    return 1;
                }
                continue;
            }
            wait = 1;
            // A watching sync that has sent everything looks for runs the database lacks only
            // once the folder brought new ones: finding none costs a look at every run.
            if (due_ && !SendAll()) {
                if (!fatal_.isEmpty()) {
                    say_(fatal_);
                    return 1;
                }
                continue;  // the database went away: waited for as above
            }
            if (!options_.watch || !Pause(kLookEvery) || !Refresh()) {
                break;
            }
        }
        if (!fatal_.isEmpty()) {
            say_(fatal_);
            return 1;
        }
        if (options_.watch) {
            return 0;
        }
        print_(
            sent_ == 0 && unread_ == 0 && refusals_ == 0
                ? QString("nothing to send: the database %1 holds every run of %2")
                      .arg(options_.databaseUri, options_.folder)
                : QString("sent %1 run(s) to the database %2; %3 of them were there "
                          "already")
                      .arg(QString::number(sent_), options_.databaseUri, QString::number(there_)));
        return bad_ ? 1 : 0;
    }

  private:
    // Names each file that is not a record once, however often the folder is looked at.
    void Report(const QStringList& problems) {
        for (const QString& p : problems) {
            if (reported_.insert(p).second) {
                say_(p);
                bad_ = true;
            }
        }
    }

    bool Refresh() {
        QStringList problems;
        IndexOptions options;
        options.stop = [] { return gStop != 0; };
        bool changed = false;
        if (!UpdateFolderIndex(index_, options, problems, fatal_, &changed)) {
            return false;
        }
        due_ = due_ || changed;
        Report(problems);
        return true;
    }

    // The database, created or brought up to date where needed. A server that cannot be reached
    // is said once until it is back; a database that cannot be used is fatal.
    bool Connect() {
        QString why;
        bool unreachable = false;
        database_ = ResultsStore::OpenDatabase(options_.databaseUri, true, why, &unreachable);
        if (!database_) {
            if (!unreachable) {
                fatal_ = why;
            } else {
                Away(why);
            }
            return false;
        }
        due_ = true;
        if (away_) {
            qint64 waiting = 0;
            index_.store->CountUnacknowledged(database_->DatabaseId(), waiting, why);
            say_(QString("the database %1 is back: %2 run(s) to send")
                     .arg(options_.databaseUri, QString::number(waiting)));
            away_ = false;
        }
        return true;
    }

    void Away(const QString& why) {
        database_.reset();
        if (!away_) {
            say_(why + (options_.watch ? "; records wait in the folder" : QString()));
            away_ = true;
        }
    }

    // Sends every run the database has not acknowledged; false when the database went away or
    // something failed for good (`fatal_`).
    bool SendAll() {
        qint64 total = 0;
        if (!index_.store->CountUnacknowledged(database_->DatabaseId(), total, fatal_)) {
            return false;
        }
        if (total == 0) {
            // Counting goes through the runs' ids alone; listing them in order reads every run.
            due_ = false;
            return true;
        }
        ProgressLine progress("sending");
        std::vector<ResultsStore::Pending> pending;
        if (!index_.store->Unacknowledged(database_->DatabaseId(), std::nullopt, kBatch, pending,
                                          fatal_)) {
            return false;
        }
        Batch batch = ReadBatch(options_.folder, pending);
        const qint64 refusedBefore = refusals_;
        const qint64 unreadBefore = unread_;
        qint64 done = 0;
        while (gStop == 0 && !pending.empty()) {
            // The next batch is read from its files while the server takes this one: neither
            // waits on the other. (Where no thread can be started, it is read when it is due.)
            std::vector<ResultsStore::Pending> next;
            if (!index_.store->Unacknowledged(database_->DatabaseId(), pending.back(), kBatch, next,
                                              fatal_)) {
                return false;
            }
            std::future<Batch> nextBatch = std::async(std::launch::async | std::launch::deferred,
                                                      ReadBatch, options_.folder, next);
            QStringList sent;
            const bool delivered = Send(batch.rows, sent, progress);
            if (!batch.unread.isEmpty()) {
                progress.Clear();
                unread_ += batch.unread.size();
                bad_ = true;
                Report(batch.unread);
            }
            batch = nextBatch.get();
            if (!delivered) {
                return false;
            }
            QString error;
            if (!index_.store->Begin(error) ||
                !index_.store->Acknowledge(database_->DatabaseId(), sent, error) ||
                !index_.store->Commit(error)) {
                index_.store->Rollback();
                fatal_ = QString("the index %1: %2").arg(index_.store->Name(), error);
                return false;
            }
            done += static_cast<qint64>(pending.size());
            sent_ += sent.size();
            progress.Show(done, total);
            pending = std::move(next);
        }
        // Every run went, but for those refused or not read, which are tried again at the next
        // look.
        due_ = gStop != 0 || refusals_ != refusedBefore || unread_ != unreadBefore;
        return true;
    }

    // The rows of a batch's record files, and a line for each run whose file cannot be read now
    // or no longer holds it (changed since it was indexed: sent once the index has it again).
    struct Batch {
        std::vector<RunRow> rows;
        QStringList unread;
    };
    static Batch ReadBatch(const QString& folder,
                           const std::vector<ResultsStore::Pending>& pending) {
        Batch batch;
        batch.rows.reserve(pending.size());
        for (const ResultsStore::Pending& p : pending) {
            QByteArray bytes;
            RunRow row;
            QString why;
            const QString path = UnderFolder(folder, p.file);
            if (!ReadRecordBytes(path, bytes, why) || !RunRowsFromRecord(bytes, p.file, row, why)) {
                batch.unread << QString("%1: the run %2 is not sent: %3").arg(path, p.key, why);
            } else if (row.runId != p.key) {
                batch.unread << QString(
                                    "%1: the run %2 is not sent: the file changed since it "
                                    "was indexed")
                                    .arg(path, p.key);
            } else {
                batch.rows.push_back(std::move(row));
            }
        }
        return batch;
    }

    // One transaction for the batch; where the database refuses it while it is still there, one
    // for each run, so that a run it refuses is named and the others go.
    bool Send(const std::vector<RunRow>& rows, QStringList& sent, ProgressLine& progress) {
        QString why;
        std::vector<bool> added;
        if (Transaction(rows, added, why)) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                sent << rows[i].runId;
                there_ += added[i] ? 0 : 1;
            }
            return true;
        }
        if (!database_->Reachable()) {
            progress.Clear();
            Away(QString("the database %1 cannot be reached: %2").arg(options_.databaseUri, why));
            return false;
        }
        for (const RunRow& row : rows) {
            if (Transaction({row}, added, why)) {
                sent << row.runId;
                there_ += added[0] ? 0 : 1;
                continue;
            }
            progress.Clear();
            if (!database_->Reachable()) {
                Away(QString("the database %1 cannot be reached: %2").arg(options_.databaseUri, why));
                return false;
            }
            ++refusals_;
            if (refused_.insert(row.runId).second) {
                say_(QString("%1: the database %2 refused the run %3: %4")
                         .arg(UnderFolder(options_.folder, row.file), options_.databaseUri,
                              row.runId, why));
            }
            bad_ = true;
        }
        return true;
    }

    bool Transaction(const std::vector<RunRow>& rows, std::vector<bool>& added, QString& why) {
        if (database_->Begin(why) && database_->AddRuns(rows, added, why) &&
            database_->Commit(why)) {
            return true;
        }
        database_->Rollback();
        return false;
    }

    const SyncOptions& options_;
    const std::function<void(const QString&)>& say_;
    const std::function<void(const QString&)>& print_;
    FolderIndex index_;
    std::unique_ptr<ResultsStore> database_;
    std::set<QString> reported_;
    std::set<QString> refused_;
    QString fatal_;
    bool away_ = false;
    bool bad_ = false;
    bool due_ = true;      // the index may hold runs the database has not acknowledged
    qint64 refusals_ = 0;  // runs the database refused, counted each time
    qint64 unread_ = 0;    // runs whose files could not be read to send them, counted each time
    qint64 sent_ = 0;
    qint64 there_ = 0;
};

}  // namespace

int SyncFolder(const SyncOptions& options, const std::function<void(const QString&)>& say,
               const std::function<void(const QString&)>& print) {
    return Sender(options, say, print).Run();
}

}  // namespace mv62tool
