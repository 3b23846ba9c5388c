#include "RunBuilder.h"

#include <QJsonArray>

#include "Frames.h"
#include "ReplyMath.h"

namespace mv62rec {

namespace {

constexpr int kSensorStage = 0;
constexpr int kMotorStage = 1;
constexpr int kRepliesPerMotorTest = 3;

// The chain stage that the reply of this code answers; -1 for other replies.
int StageAnsweredBy(int code) {
    using namespace mv62::reply;
    switch (code) {
        case LastSensorFrame:
            return kSensorStage;
        case PulseResult:
            return 2;
        case FishResult:
            return 3;
        case EepromResult:
            return 4;
        case IoResult:
            return 5;
        case Sw1Positions:
            return 6;
        case Sw2Positions:
            return 7;
        default:
            return -1;
    }
}

int StageOfCommand(int code) {
    const auto& stages = ChainStages();
    for (std::size_t i = 0; i < stages.size(); ++i) {
        if (stages[i].command == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int HexCode(const QJsonObject& event) {
    bool ok = false;
    const int code = event["code"].toString().toInt(&ok, 16);
    return ok ? code : -1;
}

}  // namespace

RunBuilder::Result RunBuilder::Feed(const QJsonObject& event) {
    Result result;
    const QString kind = event["event"].toString();
    const QString time = event["time"].toString();
    const std::int64_t ms = event["ms"].toInteger();

    if (kind == "link_opened") {
        result.ended = Cut("link-opened", time, ms);
        station_ = {};
        station_.host = event["host"].toString();
        station_.program = event["program"].toString();
        station_.version = event["version"].toString();
        station_.operatorName = event["operator"].toString();
        station_.port = event["port"].toString();
        station_.devicePath = event["device_path"].toString();
        station_.baud = event["baud"].toInt();
        station_.cashBox = event["cashbox"].toBool();
        device_.clear();
        linkMeasurements_.clear();
    } else if (kind == "cashbox") {
        station_.cashBox = event["ticked"].toBool();
        if (run_) {
            run_->record.station.cashBox = station_.cashBox;
        }
    } else if (kind == "tx") {
        TakeCommand(event);
    } else if (kind == "reply") {
        return FeedReply(ReplyFromEvent(event), time, ms);
    } else if (kind == "auto_test" || kind == "calibration") {
        result.ended = Cut(kind == "auto_test" ? "auto-test" : "calibration", time, ms);
        Start(kind == "auto_test" ? RunKind::AutoTest : RunKind::Calibration, event);
        result.started = true;
    } else if (kind == "calibration_exit") {
        // The exit button ends a calibration that showed its values; anything else it cuts short.
        const bool complete =
            run_ && run_->record.kind == RunKind::Calibration && run_->sensorFrames > 0;
        if (complete) {
            result.ended = Finish(true, "calibration-exit", time, ms);
        } else {
            result.ended = Cut("calibration-exit", time, ms);
        }
    } else if (kind == "end_protocol" || kind == "exit" || kind == "port_lost" ||
               kind == "timeout" || kind == "link_closed") {
        QString reason = kind;
        reason.replace('_', '-');
        result.ended = Cut(reason, time, ms);
    }
    return result;
}

void RunBuilder::Start(RunKind kind, const QJsonObject& event) {
    Run run;
    run.record.kind = kind;
    run.record.station = station_;
    run.record.started = event["time"].toString();
    run.record.startMs = event["ms"].toInteger();
    run.record.journalRun = ++runCount_;
    run.measured = linkMeasurements_;
    run_ = std::move(run);
}

void RunBuilder::TakeCommand(const QJsonObject& event) {
    if (!run_ || run_->record.kind != RunKind::AutoTest) {
        return;
    }
    if (event["lone"].toBool()) {
        // The motor stage ends with the lone stop byte after its third reply.
        if (run_->lastSentStage == kMotorStage) {
            run_->answered[kMotorStage] = true;
        }
        return;
    }
    const int stage = StageOfCommand(HexCode(event));
    if (stage < 0) {
        return;
    }
    run_->lastSentStage = stage;
    run_->answered[static_cast<std::size_t>(stage)] = false;
    if (stage == kMotorStage) {
        run_->motorReplies = 0;
    }
}

RunBuilder::Result RunBuilder::FeedReply(const ReplyReading& reply, const QString& time,
                                         std::int64_t ms) {
    Result result;
    const int code = reply.code;
    if (code == mv62::reply::Identification) {
        device_ = reply.values["text"].toString();
    }
    for (const Reading& reading : reply.readings) {
        Measured m{reading.value, reading.passed};
        if (reading.name.startsWith("exchange.") || reading.name == "optics.lens_count") {
            linkMeasurements_[reading.name] = m;
        }
        if (!run_) {
            continue;
        }
        if (reading.name == "lamp") {
            // The lamp steps seen, in order.
            QJsonArray steps = run_->measured[reading.name].value.toArray();
            steps.append(m.value);
            m.value = steps;
        }
        run_->measured[reading.name] = m;
    }
    if (!run_) {
        return result;
    }
    if (code == mv62::reply::MotorRate) {
        run_->motorCashBox = reply.values["cashbox"].toBool();
    }
    if (code == mv62::reply::SensorFrame || code == mv62::reply::LastSensorFrame) {
        ++run_->sensorFrames;
    }
    if (run_->record.kind == RunKind::Calibration) {
        if (code == mv62::reply::LastSensorFrame) {
            result.ended = Finish(true, "last-sensor-frame", time, ms);
        }
        return result;
    }
    if (const int stage = StageAnsweredBy(code); stage >= 0) {
        run_->answered[static_cast<std::size_t>(stage)] = true;
    }
    if (code == mv62::reply::MotorRate && ++run_->motorReplies >= kRepliesPerMotorTest) {
        run_->answered[kMotorStage] = true;
    }
    if (code == mv62::reply::LampStep && reply.values["step"].toInt() == mv62::kLastLampStep) {
        result.ended = Finish(true, "lamp-step-3", time, ms);
    }
    return result;
}

QString RunBuilder::StageWhereStopped(const Run& run, RunKind kind) {
    const auto& stages = ChainStages();
    if (kind == RunKind::Calibration || run.lastSentStage < 0) {
        return stages[kSensorStage].name;
    }
    int stage = run.lastSentStage;
    // Its reply came: the chain stopped before the next stage's command went out.
    if (run.answered[static_cast<std::size_t>(stage)] &&
        stage + 1 < static_cast<int>(stages.size())) {
        ++stage;
    }
    return stages[static_cast<std::size_t>(stage)].name;
}

std::optional<RunRecord> RunBuilder::Cut(const QString& reason, const QString& time,
                                         std::int64_t ms) {
    if (!run_) {
        return std::nullopt;
    }
    return Finish(false, reason, time, ms);
}

std::optional<RunBuilder::Measured> RunBuilder::Find(const std::map<QString, Measured>& measured,
                                                     const QString& name) {
    if (auto it = measured.find(name); it != measured.end()) {
        return it->second;
    }
    // A channel's value within its group's lists.
    for (const char* group : kChannelGroups) {
        const auto it = measured.find(group);
        for (int i = 0; it != measured.end() && i < mv62::kChannels; ++i) {
            if (ChannelMeasurementName(i, group) == name) {
                return Measured{it->second.value[i], it->second.passed[i]};
            }
        }
    }
    return std::nullopt;
}

RunRecord RunBuilder::Finish(bool complete, const QString& reason, const QString& time,
                             std::int64_t ms) {
    Run run = std::move(*run_);
    run_.reset();
    RunRecord r = std::move(run.record);
    r.device = device_;
    r.finished = time;
    r.finishMs = ms;
    r.reason = reason;
    QString firstMissing;
    for (Measurement m : RunTemplate(r.kind, run.motorCashBox.value_or(r.station.cashBox))) {
        if (const std::optional<Measured> found = Find(run.measured, m.name)) {
            m.value = found->value;
            if (found->passed.isBool()) {
                m.passed = found->passed.toBool();
            }
        } else if (m.comparison && r.kind == RunKind::AutoTest && firstMissing.isEmpty()) {
            firstMissing = StageOf(m.name);
        }
        r.measurements.push_back(std::move(m));
    }
    if (!complete) {
        r.outcome = Outcome::Incomplete;
        r.stoppedAt = StageWhereStopped(run, r.kind);
    } else if (!firstMissing.isEmpty()) {
        // The lamp test ended the chain, but a judged stage never answered.
        r.outcome = Outcome::Incomplete;
        r.stoppedAt = firstMissing;
        r.reason = "no-reply-" + firstMissing;
    } else {
        r.outcome = r.Failed().isEmpty() ? Outcome::Pass : Outcome::Fail;
    }
    return r;
}

}  // namespace mv62rec
