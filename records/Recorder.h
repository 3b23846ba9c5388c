#pragma once
// The station's recorder: it turns what the window and the line tap report into one session
// journal per link and one run record per automatic test or calibration run. It never sends a
// byte and never waits; if the records folder cannot be written it says so once and the station
// tests on without records.
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

#include "Clock.h"
#include "HostCommandDecoder.h"
#include "Journal.h"
#include "RunBuilder.h"
#include "StationObserver.h"

namespace mv62rec {

// Who records: the program, its version, the machine, the station as the line knows it (its id,
// the host name when none is configured; its line and location, empty when not configured) and
// the operator (the user logged in, unless one was given).
struct StationIdentity {
    QString program;
    QString version;
    QString host;
    QString operatorName;
    QString stationId;
    QString line;
    QString location;
    static StationIdentity OfThisMachine(const QString& program, const QString& version);
};

class Recorder final : public StationObserver {
  public:
    Recorder(QString recordsFolder, StationIdentity identity,
             const Clock& clock = SystemClock::Instance());
    ~Recorder() override;

    // A records folder or file that cannot be written, in plain words.
    std::function<void(const QString& message)> OnError;
    // Makes the id of each new run; unset: a random UUID (tests give their own).
    std::function<QString()> NewRunId;
    // Every event as it is journaled (also while the journal cannot be written).
    std::function<void(const QJsonObject& event)> OnEvent;

    const QString& RecordsFolder() const { return folder_; }
    const QString& JournalPath() const { return journal_.Path(); }
    // The run that ended last, and the file its record went to (empty when it was not written).
    const std::optional<RunRecord>& LastRun() const { return lastRun_; }
    const QString& LastRecordPath() const { return lastRecordPath_; }  // once committed
    // Why the last run's record could not be written (also when the link's records folder could
    // not be used); empty when it was written.
    const QString& LastRecordError() const { return lastRecordError_; }
    bool RunActive() const { return builder_.RunActive(); }

    // The automatic test without a window gave up waiting: the run in progress is cut short.
    void Timeout();
    // The program ends: a link still open is closed as by Exit.
    void Shutdown();
    // The operator given once the window is open; links opened from now on name them.
    void SetOperator(const QString& name) { identity_.operatorName = name; }

    // LineTap
    void Written(std::span<const std::uint8_t> bytes, bool ok) override;
    void Read(std::span<const std::uint8_t> block) override;
    void InputDiscarded(std::uint32_t waiting) override;
    void ReceiveEventStarted() override;
    void ReceiveEventEnded() override;
    // StationObserver
    void LinkOpened(const std::string& port, const std::string& devicePath, int baud) override;
    void CashBoxChanged(bool ticked) override;
    void FrameApplied(const mv62::DeviceFrame& frame, const mv62::FrameReading& reading) override;
    void RawDumpChanged(bool on) override;
    void UnitSerialGiven(const QString& serial) override;
    void AutoTestPressed() override;
    void CalibrationPressed() override;
    void CalibrationExitPressed() override;
    void EndProtocolPressed() override;
    void ExitPressed() override;
    void PortLost() override;

  private:
    // Stamps an event with its times, journals it and folds it into the runs.
    void Emit(QJsonObject event);
    // What follows from an event: a run ended, a run started, the journal named after the unit.
    void AfterFeed(RunBuilder::Result result);
    // Milliseconds since the link opened, with the wall time of that moment in `timeText_`.
    qint64 Stamp();
    void JournalFailed(const QString& error);
    void EmitState(const char* name);
    void OpenJournal(const QString& started);
    void NameJournalAfterDevice(const QString& device);
    void EndRun(RunRecord run);
    // Puts the ended run's record in place and syncs the journal: the part of the end of a run
    // that waits for the disk, kept out of receive events.
    void CommitRun();
    void CloseLink(const QString& reason);
    // Reports a failed write once per link; the link goes on without its journal.
    void Fail(const QString& message);

    QString folder_;
    StationIdentity identity_;
    const Clock& clock_;
    RunBuilder builder_;
    JournalWriter journal_;
    mv62::CommandDecoder decoder_;
    bool linkOpen_ = false;
    std::chrono::microseconds linkStart_{};
    QDateTime linkWall_;  // the wall clock when the link opened, at its offset from UTC
    qint64 timeMs_ = -1;  // the millisecond whose time text `timeText_` is
    QString timeText_;
    bool folderUsable_ = false;  // this link's day folder could be created
    bool failedThisLink_ = false;
    bool journalNamed_ = false;  // renamed after the unit, or a record already names it
    bool writeFailed_ = false;   // a byte of the command being written failed
    bool cashBox_ = false;
    QString unitSerial_;  // given for the run the next Auto Test or CALIBRATION starts
    std::optional<RunRecord> lastRun_;
    QString lastRecordPath_;
    QString lastRecordError_;
    QString folderError_;   // why this link's records folder could not be used
    int receiveDepth_ = 0;  // receive events under way
    // The record of the run that ended, not yet written: its file and its bytes.
    struct PendingRecord {
        QString path;
        QByteArray data;
    };
    std::optional<PendingRecord> pending_;
    bool commitPending_ = false;
};

}  // namespace mv62rec
