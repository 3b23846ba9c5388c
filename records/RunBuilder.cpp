#include "RunBuilder.h"

#include <QJsonArray>
#include <algorithm>

#include "JournalLines.h"
#include "RecordVocabulary.h"
#include "Replies.h"

namespace mv62rec {

namespace {

using mv62::Stage;

std::size_t Index(Stage stage) {
    return static_cast<std::size_t>(stage);
}

// The events that cut a run short, and the reason the record gives.
constexpr std::pair<const char*, const char*> kCuttingEvents[] = {
    {event::EndProtocol, reason::EndProtocol}, {event::Exit, reason::Exit},
    {event::PortLost, reason::PortLost},       {event::Timeout, reason::Timeout},
    {event::LinkClosed, reason::LinkClosed},
};

}  // namespace

RunBuilder::Result RunBuilder::Feed(const QJsonObject& e) {
    Result result;
    const QString kind = e[key::Event].toString();
    const QString time = e[key::Time].toString();
    const std::int64_t ms = e[key::Ms].toInteger();

    if (kind == event::LinkOpened) {
        result.ended = Cut(reason::LinkOpened, time, ms);
        station_ = {};
        station_.host = e[key::Host].toString();
        // A journal of a station without a configured id knows it by its host name.
        station_.id = e[key::StationId].isString() ? e[key::StationId].toString() : station_.host;
        station_.line = e[key::Line].toString();
        station_.location = e[key::Location].toString();
        planVersion_ = e[key::PlanVersion].toString();
        station_.program = e[key::Program].toString();
        station_.version = e[key::Version].toString();
        station_.operatorName = e[key::Operator].toString();
        station_.port = e[key::Port].toString();
        station_.devicePath = e[key::DevicePath].toString();
        station_.baud = e[key::Baud].toInt();
        station_.cashBox = e[key::CashBox].toBool();
        device_.clear();
        linkMeasurements_.clear();
    } else if (kind == event::RunStarted) {
        if (run_) {
            run_->record.runId = e[key::RunId].toString();
            run_->record.unitSerial = e[key::UnitSerial].toString();
        }
    } else if (kind == event::CashBox) {
        station_.cashBox = e[key::Ticked].toBool();
        if (run_) {
            run_->record.station.cashBox = station_.cashBox;
        }
    } else if (kind == event::Sent) {
        TakeCommand(e);
    } else if (kind == event::Reply) {
        return FeedReply(ReadingFromEvent(e), time, ms);
    } else if (kind == event::AutoTest || kind == event::Calibration) {
        const RunKind next = kind == event::AutoTest ? RunKind::AutoTest : RunKind::Calibration;
        result.ended = Cut(RunKindName(next), time, ms);
        Start(next, e);
        result.started = true;
    } else if (kind == event::CalibrationExit) {
        // The exit button ends a calibration that showed its values; anything else it cuts short.
        const bool complete =
            run_ && run_->record.kind == RunKind::Calibration && run_->sensorFrames > 0;
        if (complete) {
            result.ended = Finish(true, reason::CalibrationExit, time, ms);
        } else {
            result.ended = Cut(reason::CalibrationExit, time, ms);
        }
    } else {
        for (const auto& [cutting, why] : kCuttingEvents) {
            if (kind == cutting) {
                result.ended = Cut(why, time, ms);
            }
        }
    }
    return result;
}

void RunBuilder::Start(RunKind kind, const QJsonObject& event) {
    Run run;
    run.record.kind = kind;
    run.record.station = station_;
    run.record.planVersion = planVersion_;
    run.record.started = event[key::Time].toString();
    run.record.startMs = event[key::Ms].toInteger();
    run.record.journalRun = ++runCount_;
    run.measured = linkMeasurements_;
    run_ = std::move(run);
}

void RunBuilder::TakeCommand(const QJsonObject& event) {
    if (!run_ || run_->record.kind != RunKind::AutoTest) {
        return;
    }
    if (event[key::Lone].toBool()) {
        // The lone stop byte ends the stage that it ends (the motor's, after its third reply).
        if (run_->lastSent && mv62::InPlan(*run_->lastSent).endedByLoneStop) {
            run_->answered[Index(*run_->lastSent)] = true;
        }
        return;
    }
    const std::optional<mv62::Bytes> code =
        mv62::ParseHexBytes(event[key::Code].toString().toStdString());
    const std::optional<Stage> stage =
        code && code->size() == 1 ? mv62::StageStartedBy(code->front()) : std::nullopt;
    if (!stage) {
        return;
    }
    run_->lastSent = stage;
    run_->answered[Index(*stage)] = false;
    run_->answers[Index(*stage)] = 0;
}

void RunBuilder::Take(MeasuredMap& measured, const mv62::Reading& r) {
    const mv62::Quantity q = r.measurement->quantity;
    if (r.list && r.measurement->Channels() > 1) {
        // A sensor frame's channels come as one list each.
        for (std::size_t ch = 0; ch < r.values.size(); ++ch) {
            measured[{q, static_cast<int>(ch)}] = {
                r.values[ch], r.passed.empty() ? std::nullopt : std::optional(bool(r.passed[ch]))};
        }
        return;
    }
    QJsonValue value = r.Value();
    if (r.list) {
        QJsonArray items;
        for (int v : r.values) {
            items.append(v);
        }
        value = items;
    }
    measured[{q, r.channel}] = {value, r.Judged() ? std::optional(r.Passed()) : std::nullopt};
}

RunBuilder::Result RunBuilder::FeedReply(const mv62::FrameReading& reply, const QString& time,
                                         std::int64_t ms) {
    Result result;
    if (reply.identification) {
        device_ = QString::fromLatin1(*reply.identification);
    }
    for (const mv62::Reading& reading : reply.readings) {
        if (!reading.measurement->stage) {
            Take(linkMeasurements_, reading);
        }
        if (!run_) {
            continue;
        }
        if (reading.measurement->quantity == mv62::Quantity::Lamp) {
            // The lamp steps seen, in order.
            QJsonArray steps = run_->measured[{mv62::Quantity::Lamp, 0}].value.toArray();
            steps.append(reading.Value());
            run_->measured[{mv62::Quantity::Lamp, 0}] = {steps, std::nullopt};
            continue;
        }
        Take(run_->measured, reading);
    }
    if (!run_) {
        return result;
    }
    if (reply.cashBox) {
        run_->motorCashBox = *reply.cashBox;
    }
    if (mv62::IsSensorFrame(reply.code)) {
        ++run_->sensorFrames;
    }
    if (run_->record.kind == RunKind::Calibration) {
        if (reply.code == mv62::reply::LastSensorFrame) {
            result.ended = Finish(true, reason::LastSensorFrame, time, ms);
        }
        return result;
    }
    if (const std::optional<Stage> stage = mv62::StageAnsweredBy(reply.code)) {
        if (++run_->answers[Index(*stage)] >= mv62::InPlan(*stage).answers) {
            run_->answered[Index(*stage)] = true;
        }
    }
    if (reply.step == mv62::kLastLampStep) {
        result.ended = Finish(true, reason::LampStep3, time, ms);
    }
    return result;
}

QString RunBuilder::StageWhereStopped(const Run& run, RunKind kind) {
    Stage stage =
        kind == RunKind::Calibration ? Stage::Sensor : run.lastSent.value_or(Stage::Sensor);
    // Its reply came: the chain stopped before the next stage's command went out.
    if (kind == RunKind::AutoTest && run.lastSent && run.answered[Index(stage)] &&
        Index(stage) + 1 < mv62::kStages.size()) {
        stage = mv62::kStages[Index(stage) + 1].stage;
    }
    return QString::fromLatin1(mv62::InPlan(stage).name.data());
}

std::optional<RunRecord> RunBuilder::Cut(const QString& reason, const QString& time,
                                         std::int64_t ms) {
    if (!run_) {
        return std::nullopt;
    }
    return Finish(false, reason, time, ms);
}

RunRecord RunBuilder::Finish(bool complete, const QString& why, const QString& time,
                             std::int64_t ms) {
    Run run = std::move(*run_);
    run_.reset();
    RunRecord r = std::move(run.record);
    r.device = device_;
    r.finished = time;
    r.finishMs = ms;
    r.reason = why;
    std::optional<Stage> firstMissing;
    std::vector<Measurement> measurements =
        RunTemplate(r.kind, run.motorCashBox.value_or(r.station.cashBox));
    for (Measurement& m : measurements) {
        const mv62::NamedMeasurement named = mv62::FindMeasurement(m.name.toStdString());
        const auto found = run.measured.find({named.measurement->quantity, named.channel});
        if (found != run.measured.end()) {
            m.value = found->second.value;
            m.passed = found->second.passed;
        } else if (m.comparison && r.kind == RunKind::AutoTest && !firstMissing) {
            firstMissing = named.measurement->stage;
        }
    }
    r.measurements = std::move(measurements);
    if (!complete) {
        r.outcome = Outcome::Incomplete;
        r.stoppedAt = StageWhereStopped(run, r.kind);
    } else if (firstMissing) {
        // The lamp test ended the chain, but a judged stage never answered.
        r.outcome = Outcome::Incomplete;
        r.stoppedAt = QString::fromLatin1(mv62::InPlan(*firstMissing).name.data());
        r.reason = reason::NoReplyPrefix + r.stoppedAt;
    } else {
        r.outcome = r.Failed().isEmpty() ? Outcome::Pass : Outcome::Fail;
    }
    return r;
}

}  // namespace mv62rec
