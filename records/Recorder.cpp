#include "Recorder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

#include "HostCommands.h"
#include "RecordFiles.h"

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace mv62rec {

namespace {

QString Hex(std::span<const std::uint8_t> bytes) {
    return QString::fromLatin1(mv62::HexBytes(bytes).c_str());
}

QString LoginName() {
#ifdef Q_OS_UNIX
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return QString::fromLocal8Bit(pw->pw_name);
    }
#endif
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

QJsonObject CommandEvent(const mv62::DecodedItem& item) {
    QJsonObject e{{"event", "tx"}, {"bytes", Hex(item.bytes)}};
    if (item.kind == mv62::DecodedItem::Kind::Garbage) {
        e["garbage"] = true;
        return e;
    }
    const std::uint8_t code = item.command.code;
    e["code"] = QString("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    e["command"] = QString::fromLatin1(mv62::CommandName(code).data());
    if (item.command.kind == mv62::HostCommand::Kind::LoneStop) {
        e["lone"] = true;
    }
    return e;
}

}  // namespace

StationIdentity StationIdentity::OfThisMachine(const QString& program, const QString& version) {
    return {program, version, QSysInfo::machineHostName(), LoginName()};
}

Recorder::Recorder(QString recordsFolder, StationIdentity identity, const Clock& clock)
    : folder_(std::move(recordsFolder)), identity_(std::move(identity)), clock_(clock) {}

Recorder::~Recorder() {
    // Whoever listened may be gone already; the journal is still closed properly.
    OnEvent = nullptr;
    OnError = nullptr;
    Shutdown();
}

qint64 Recorder::Stamp() {
    // The wall time follows from the link's opening and the steady clock: it keeps the order
    // of events when the system clock is set, and it is cheap in a stream of events.
    const qint64 ms = (clock_.Steady() - linkStart_).count() / 1000;
    if (ms != timeMs_) {
        timeMs_ = ms;
        timeText_ = IsoTime(linkWall_.addMSecs(ms));
    }
    return ms;
}

void Recorder::JournalFailed(const QString& error) {
    Fail(QString("Records: cannot write the session journal %1: %2.").arg(journal_.Path(), error));
    journal_.Close();
}

void Recorder::Emit(QJsonObject event) {
    if (!linkOpen_) {
        return;
    }
    event["ms"] = Stamp();
    event["time"] = timeText_;
    if (journal_.IsOpen()) {
        QString error;
        if (!journal_.Append(event, error)) {
            JournalFailed(error);
        }
    }
    RunBuilder::Result result = builder_.Feed(event);
    if (OnEvent) {
        OnEvent(event);
    }
    AfterFeed(std::move(result));
}

void Recorder::AfterFeed(RunBuilder::Result result) {
    if (result.ended) {
        EndRun(std::move(*result.ended));
    }
    if (result.started) {
        const RunRecord* run = builder_.ActiveRun();
        Emit(
            {{"event", "run_started"}, {"kind", RunKindName(run->kind)}, {"run", run->journalRun}});
    }
}

void Recorder::EmitState(const char* event) {
    Emit({{"event", event}});
}

void Recorder::Fail(const QString& message) {
    if (failedThisLink_) {
        return;
    }
    failedThisLink_ = true;
    if (OnError) {
        OnError(message + " The station goes on testing without records.");
    }
}

void Recorder::OpenJournal(const QString& started) {
    const QString path = FreePath(JournalFileName(folder_, started, QString()));
    const QString day = path.section('/', 0, -2);
    QString error;
    folderUsable_ = CreateFolder(day, error);
    if (!folderUsable_) {
        folderError_ = QString("cannot create the records folder %1: %2").arg(day, error);
    } else if (!journal_.Open(path, error)) {
        folderUsable_ = false;
        folderError_ = QString("cannot write the session journal %1: %2").arg(path, error);
    }
    if (!folderUsable_) {
        Fail("Records: " + folderError_ + '.');
    }
}

void Recorder::NameJournalAfterDevice(const QString& device) {
    // Only while no record names the journal yet, so that every record finds its journal.
    if (journalNamed_ || !journal_.IsOpen() || FileNamePart(device) == FileNamePart(QString())) {
        return;
    }
    journalNamed_ = true;
    const QString started = journal_.Path().section('/', -1).section('_', 0, 0);
    const QString path = FreePath(journal_.Path().section('/', 0, -2) + '/' + started + '_' +
                                  FileNamePart(device) + "_journal.jsonl");
    QString error;
    journal_.Rename(path, error);  // the old name is as good a place if this fails
}

void Recorder::EndRun(RunRecord run) {
    CommitRun();  // the run before, should its commit still wait
    journalNamed_ = true;
    run.journal = journal_.Path();
    lastRecordPath_.clear();
    // A link whose folder could not be used writes no record: the run still has none.
    lastRecordError_ = folderUsable_ ? QString() : folderError_;
    if (folderUsable_) {
        // The record is written when the receive event is over: writing it waits for the disk.
        pending_ = PendingRecord{FreePath(RunRecordFileName(folder_, run)),
                                 QJsonDocument(run.ToJson()).toJson(QJsonDocument::Indented)};
    }
    lastRun_ = std::move(run);
    commitPending_ = true;
    if (receiveDepth_ == 0) {
        CommitRun();
    }
}

void Recorder::CommitRun() {
    if (!commitPending_) {
        return;
    }
    commitPending_ = false;
    if (pending_) {
        const QString& path = pending_->path;
        QString error;
        if (CreateFolder(path.section('/', 0, -2), error) &&
            WriteFileWhole(path, pending_->data, IfTaken::Fail, error)) {
            lastRecordPath_ = path;
        } else {
            // Said every time, whatever was said before on this link: the run has no record.
            lastRecordError_ = error;
            if (OnError) {
                OnError(QString("Records: cannot write the run record %1: %2.").arg(path, error));
            }
        }
        pending_.reset();
    }
    const RunRecord& run = *lastRun_;
    Emit({{"event", "run_ended"},
          {"kind", RunKindName(run.kind)},
          {"run", run.journalRun},
          {"outcome", OutcomeName(run.outcome)},
          {"stopped_at", run.stoppedAt.isEmpty() ? QJsonValue() : run.stoppedAt},
          {"reason", run.reason},
          {"failed", QJsonArray::fromStringList(run.Failed())},
          {"record", lastRecordPath_.isEmpty() ? QJsonValue() : lastRecordPath_}});
    journal_.Sync();
}

void Recorder::CloseLink(const QString& reason) {
    CommitRun();
    Emit({{"event", "link_closed"}, {"reason", reason}});
    journal_.Close();
    linkOpen_ = false;
}

void Recorder::Timeout() {
    EmitState("timeout");
}

void Recorder::Shutdown() {
    if (linkOpen_) {
        EmitState("exit");
        CloseLink("exit");
    }
}

void Recorder::Written(std::span<const std::uint8_t> bytes, bool ok) {
    if (!linkOpen_) {
        return;
    }
    writeFailed_ = writeFailed_ || !ok;
    for (const mv62::DecodedItem& item : decoder_.Feed(bytes, clock_.Steady())) {
        QJsonObject e = CommandEvent(item);
        if (writeFailed_) {
            e["failed"] = true;
        }
        writeFailed_ = false;
        Emit(e);
    }
}

void Recorder::Read(std::span<const std::uint8_t> block) {
    // The busiest event, journaled without a JSON value of its own; the runs do not need it.
    if (!linkOpen_) {
        return;
    }
    const qint64 ms = Stamp();
    QString error;
    const bool held = receiveDepth_ > 0;  // until the block's frame is applied, or the event ends
    if (journal_.IsOpen() && !journal_.AppendReceived(block, ms, timeText_, held, error)) {
        JournalFailed(error);
    }
    if (OnEvent) {
        OnEvent({{"event", "rx"},
                 {"n", static_cast<int>(block.size())},
                 {"bytes", Hex(block)},
                 {"ms", ms},
                 {"time", timeText_}});
    }
}

void Recorder::InputDiscarded(std::uint32_t waiting) {
    Emit({{"event", "rx_discarded"}, {"n", static_cast<qint64>(waiting)}});
}

void Recorder::ReceiveEventStarted() {
    ++receiveDepth_;
}

void Recorder::ReceiveEventEnded() {
    QString error;
    if (journal_.IsOpen() && !journal_.Flush(error)) {
        JournalFailed(error);
    }
    if (receiveDepth_ > 0 && --receiveDepth_ == 0) {
        CommitRun();
    }
}

void Recorder::LinkOpened(const std::string& port, const std::string& devicePath, int baud) {
    if (linkOpen_) {
        CloseLink("link-opened");
    }
    linkOpen_ = true;
    linkStart_ = clock_.Steady();
    decoder_ = mv62::CommandDecoder{};
    failedThisLink_ = false;
    journalNamed_ = false;
    writeFailed_ = false;
    const QDateTime wall = clock_.Wall();
    linkWall_ = wall.toOffsetFromUtc(wall.offsetFromUtc());
    timeMs_ = -1;
    OpenJournal(IsoTime(linkWall_));
    Emit({{"event", "link_opened"},
          {"schema", kJournalSchema},
          {"program", identity_.program},
          {"version", identity_.version},
          {"host", identity_.host},
          {"operator", identity_.operatorName},
          {"records", folder_},
          {"port", QString::fromStdString(port)},
          {"device_path", QString::fromStdString(devicePath)},
          {"baud", baud},
          {"cashbox", cashBox_}});
}

void Recorder::CashBoxChanged(bool ticked) {
    cashBox_ = ticked;
    Emit({{"event", "cashbox"}, {"ticked", ticked}});
}

void Recorder::FrameApplied(const mv62::DeviceFrame& frame, const FrameContext& context) {
    // Written as a line made by hand and folded without a JSON object: replies of a sensor
    // stream come ten a second.
    if (!linkOpen_) {
        return;
    }
    const ReplyReading reply = ReadReply(frame, context);
    const qint64 ms = Stamp();
    QString error;
    if (journal_.IsOpen() && !journal_.AppendLine(ReplyLine(reply, ms, timeText_), error)) {
        JournalFailed(error);
    }
    RunBuilder::Result result = builder_.FeedReply(reply, timeText_, ms);
    if (OnEvent) {
        QJsonObject event = ReplyEvent(reply);
        event["ms"] = ms;
        event["time"] = timeText_;
        OnEvent(event);
    }
    AfterFeed(std::move(result));
    if (reply.code == mv62::reply::Identification) {
        NameJournalAfterDevice(reply.values["text"].toString());
    }
}

void Recorder::RawDumpChanged(bool on) {
    Emit({{"event", "raw_dump"}, {"on", on}});
}

void Recorder::AutoTestPressed() {
    EmitState("auto_test");
}

void Recorder::CalibrationPressed() {
    EmitState("calibration");
}

void Recorder::CalibrationExitPressed() {
    EmitState("calibration_exit");
}

void Recorder::EndProtocolPressed() {
    EmitState("end_protocol");
    CloseLink("end-protocol");
}

void Recorder::ExitPressed() {
    EmitState("exit");
    CloseLink("exit");
}

void Recorder::PortLost() {
    EmitState("port_lost");
    CommitRun();
    journal_.Sync();
}

}  // namespace mv62rec
