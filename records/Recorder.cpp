#include "Recorder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QSysInfo>

#include "JournalLines.h"
#include "RecordFiles.h"
#include "RecordVocabulary.h"

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace mv62rec {

namespace {

QString LoginName() {
#ifdef Q_OS_UNIX
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return QString::fromLocal8Bit(pw->pw_name);
    }
#endif
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

}  // namespace

StationIdentity StationIdentity::OfThisMachine(const QString& program, const QString& version) {
    const QString host = QSysInfo::machineHostName();
    return {program, version, host, LoginName(), host, {}, {}};
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
    event[key::Ms] = Stamp();
    event[key::Time] = timeText_;
    if (journal_.IsOpen()) {
        QString error;
        if (!journal_.Append(EventLine(event), error)) {
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
        Emit({{key::Event, event::RunStarted},
              {key::Kind, RunKindName(run->kind)},
              {key::Run, run->journalRun},
              {key::RunId, NewRunId ? NewRunId() : mv62rec::NewRunId()},
              {key::UnitSerial,
               unitSerial_.isEmpty() ? QJsonValue() : QJsonValue(std::exchange(unitSerial_, {}))}});
    }
}

void Recorder::EmitState(const char* name) {
    Emit({{key::Event, name}});
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
    const QString day = QFileInfo(path).path();
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
    const QString path = FreePath(JournalFileName(folder_, IsoTime(linkWall_), device));
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
        pending_ = PendingRecord{FreePath(RunRecordFileName(folder_, run)), run.ToFile()};
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
        if (CreateFolder(QFileInfo(path).path(), error) &&
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
    Emit({{key::Event, event::RunEnded},
          {key::Kind, RunKindName(run.kind)},
          {key::Run, run.journalRun},
          {key::Outcome, OutcomeName(run.outcome)},
          {key::StoppedAt, run.stoppedAt.isEmpty() ? QJsonValue() : run.stoppedAt},
          {key::Reason, run.reason},
          {key::Failed, QJsonArray::fromStringList(run.Failed())},
          {key::Record, lastRecordPath_.isEmpty() ? QJsonValue() : lastRecordPath_}});
    journal_.Sync();
}

void Recorder::CloseLink(const QString& reason) {
    CommitRun();
    Emit({{key::Event, event::LinkClosed}, {key::Reason, reason}});
    journal_.Close();
    linkOpen_ = false;
}

void Recorder::Timeout() {
    EmitState(event::Timeout);
}

void Recorder::Shutdown() {
    if (linkOpen_) {
        EmitState(event::Exit);
        CloseLink(reason::Exit);
    }
}

void Recorder::Written(std::span<const std::uint8_t> bytes, bool ok) {
    if (!linkOpen_) {
        return;
    }
    writeFailed_ = writeFailed_ || !ok;
    for (const mv62::DecodedItem& item : decoder_.Feed(bytes, clock_.Steady())) {
        Emit(SentEvent(item, std::exchange(writeFailed_, false)));
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
    if (journal_.IsOpen()) {
        QByteArray line = ReceivedLine(block, ms, timeText_);
        if (!(held ? journal_.Hold(std::move(line), error) : journal_.Append(line, error))) {
            JournalFailed(error);
        }
    }
    if (OnEvent) {
        OnEvent({{key::Event, event::Received},
                 {key::Count, static_cast<int>(block.size())},
                 {key::Bytes, QString::fromStdString(mv62::HexBytes(block))},
                 {key::Ms, ms},
                 {key::Time, timeText_}});
    }
}

void Recorder::InputDiscarded(std::uint32_t waiting) {
    Emit({{key::Event, event::ReceivedDiscarded}, {key::Count, static_cast<qint64>(waiting)}});
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
        CloseLink(reason::LinkOpened);
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
    Emit({{key::Event, event::LinkOpened},
          {key::Schema, schema::Journal},
          {key::Program, identity_.program},
          {key::Version, identity_.version},
          {key::Host, identity_.host},
          {key::StationId, identity_.stationId.isEmpty() ? identity_.host : identity_.stationId},
          {key::Line, identity_.line.isEmpty() ? QJsonValue() : QJsonValue(identity_.line)},
          {key::Location,
           identity_.location.isEmpty() ? QJsonValue() : QJsonValue(identity_.location)},
          {key::Operator, identity_.operatorName},
          {key::PlanVersion, QString::fromStdString(mv62::PlanVersion())},
          {key::Records, folder_},
          {key::Port, QString::fromStdString(port)},
          {key::DevicePath, QString::fromStdString(devicePath)},
          {key::Baud, baud},
          {key::CashBox, cashBox_}});
}

void Recorder::CashBoxChanged(bool ticked) {
    cashBox_ = ticked;
    Emit({{key::Event, event::CashBox}, {key::Ticked, ticked}});
}

void Recorder::FrameApplied(const mv62::DeviceFrame& frame, const mv62::FrameReading& reading) {
    // Journaled as a line made straight from the reading and folded without a JSON object:
    // replies of a sensor stream come ten a second.
    if (!linkOpen_) {
        return;
    }
    const qint64 ms = Stamp();
    QString error;
    if (journal_.IsOpen() && !journal_.Append(ReplyLine(frame, reading, ms, timeText_), error)) {
        JournalFailed(error);
    }
    RunBuilder::Result result = builder_.FeedReply(reading, timeText_, ms);
    if (OnEvent) {
        QJsonObject event = ReplyEvent(frame, reading);
        event[key::Ms] = ms;
        event[key::Time] = timeText_;
        OnEvent(event);
    }
    AfterFeed(std::move(result));
    if (reading.identification) {
        NameJournalAfterDevice(QString::fromLatin1(*reading.identification));
    }
}

void Recorder::RawDumpChanged(bool on) {
    Emit({{key::Event, event::RawDump}, {key::On, on}});
}

void Recorder::UnitSerialGiven(const QString& serial) {
    unitSerial_ = serial;
}

void Recorder::AutoTestPressed() {
    EmitState(event::AutoTest);
    unitSerial_.clear();  // it went to the run this press started, and to no other
}

void Recorder::CalibrationPressed() {
    EmitState(event::Calibration);
    unitSerial_.clear();
}

void Recorder::CalibrationExitPressed() {
    EmitState(event::CalibrationExit);
}

void Recorder::EndProtocolPressed() {
    EmitState(event::EndProtocol);
    CloseLink(reason::EndProtocol);
}

void Recorder::ExitPressed() {
    EmitState(event::Exit);
    CloseLink(reason::Exit);
}

void Recorder::PortLost() {
    EmitState(event::PortLost);
    CommitRun();
    journal_.Sync();
}

}  // namespace mv62rec
