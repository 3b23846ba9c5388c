#pragma once
// Folds the events of a session journal into run records. The live station and the recovery of
// a journal whose station was killed feed it the same lines, so both build the same records.
#include <QJsonObject>
#include <QString>
#include <array>
#include <map>
#include <optional>

#include "RunRecord.h"

namespace mv62rec {

class RunBuilder {
  public:
    struct Result {
        std::optional<RunRecord> ended;  // a run this event ended
        bool started = false;            // this event started a run
    };

    // Takes one journal event (an object with "event", "time" and "ms").
    Result Feed(const QJsonObject& event);
    // The same for a reply event, as ReplyFromEvent reads it or the recorder makes it.
    Result FeedReply(const ReplyReading& reply, const QString& time, std::int64_t ms);
    // Ends the run in progress, if any, as INCOMPLETE for `reason` at the given time.
    std::optional<RunRecord> Cut(const QString& reason, const QString& time, std::int64_t ms);

    bool RunActive() const { return run_.has_value(); }
    const RunRecord* ActiveRun() const { return run_ ? &run_->record : nullptr; }

  private:
    // A measurement's latest reading as journaled: its value and its verdict (not a bool when
    // not judged); for a channel group the six values and verdicts as lists.
    struct Measured {
        QJsonValue value;
        QJsonValue passed;
    };
    // The reading of a record's measurement, found by its own name or within its group.
    static std::optional<Measured> Find(const std::map<QString, Measured>& measured,
                                        const QString& name);
    struct Run {
        RunRecord record;
        std::map<QString, Measured> measured;
        std::optional<bool> motorCashBox;  // CashBox as the latest motor reply was judged with
        int lastSentStage = -1;  // index into ChainStages() of the last stage command sent
        std::array<bool, 9> answered{};
        int motorReplies = 0;
        int sensorFrames = 0;
    };

    void Start(RunKind kind, const QJsonObject& event);
    RunRecord Finish(bool complete, const QString& reason, const QString& time, std::int64_t ms);

    void TakeCommand(const QJsonObject& event);
    static QString StageWhereStopped(const Run& run, RunKind kind);

    StationInfo station_;
    QString device_;
    std::map<QString, Measured> linkMeasurements_;  // reported on their own: exchange, lens
    int runCount_ = 0;
    std::optional<Run> run_;
};

}  // namespace mv62rec
