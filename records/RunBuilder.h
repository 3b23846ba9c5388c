#pragma once
// Folds the events of a session journal into run records. The live station and the recovery of
// a journal whose station was killed feed it the same lines, so both build the same records.
#include <QJsonObject>
#include <QString>
#include <array>
#include <map>
#include <optional>
#include <utility>

#include "RunRecord.h"
#include "TestPlan.h"

namespace mv62rec {

class RunBuilder {
  public:
    struct Result {
        std::optional<RunRecord> ended;  // a run this event ended
        bool started = false;            // this event started a run
    };

    // Takes one journal event (an object with "event", "time" and "ms").
    Result Feed(const QJsonObject& event);
    // The same for the reading of an applied frame, as the window made it or as a reply event
    // read back gives it.
    Result FeedReply(const mv62::FrameReading& reply, const QString& time, std::int64_t ms);
    // Ends the run in progress, if any, as INCOMPLETE for `reason` at the given time.
    std::optional<RunRecord> Cut(const QString& reason, const QString& time, std::int64_t ms);

    bool RunActive() const { return run_.has_value(); }
    const RunRecord* ActiveRun() const { return run_ ? &run_->record : nullptr; }

  private:
    // A measurement's latest reading: one channel's value, or a list (switch positions, lamp
    // steps), and its verdict when the window judged it.
    struct Measured {
        QJsonValue value;
        std::optional<bool> passed;
    };
    using Where = std::pair<mv62::Quantity, int>;  // a measurement and its channel
    using MeasuredMap = std::map<Where, Measured>;
    static void Take(MeasuredMap& measured, const mv62::Reading& r);

    struct Run {
        RunRecord record;
        MeasuredMap measured;
        std::optional<bool> motorCashBox;     // CashBox as the latest motor reply was judged with
        std::optional<mv62::Stage> lastSent;  // the stage whose command went out last
        std::array<int, mv62::kStages.size()> answers{};  // replies since its command
        std::array<bool, mv62::kStages.size()> answered{};
        int sensorFrames = 0;
    };

    void Start(RunKind kind, const QJsonObject& event);
    RunRecord Finish(bool complete, const QString& reason, const QString& time, std::int64_t ms);

    void TakeCommand(const QJsonObject& event);
    static QString StageWhereStopped(const Run& run, RunKind kind);

    StationInfo station_;
    QString planVersion_;  // of the program that judged the link's runs
    QString device_;
    MeasuredMap linkMeasurements_;  // reported by the device on its own: exchange, lens count
    int runCount_ = 0;
    std::optional<Run> run_;
};

}  // namespace mv62rec
