#include "sim/DeviceModel.h"

#include <algorithm>
#include <stdexcept>

#include "Frames.h"
#include "Replies.h"
#include "ReplyMath.h"

namespace mv62sim {

namespace cmd = mv62::cmd;
namespace reply = mv62::reply;

namespace {

// Spacing of the device's answers. Frames are spaced so that the station, which looks at its
// port every 100 ms and handles only the latest frame of what it finds, sees each one.
constexpr SimTime kIdentSpacing = 200ms;   // 0x00, then 0x27, then 0x25
constexpr SimTime kMotorSpacing = 300ms;   // the three motor replies
constexpr SimTime kLampSpacing = 500ms;    // lamp steps 0..3
constexpr SimTime kReportSpacing = 125ms;  // maintenance reports, four per 500 ms

constexpr int kFailingPeak = 20;       // below every channel's minimum
constexpr int kOpticsFaultShift = 40;  // far outside the tolerance of 4

void PutBigEndian(std::uint8_t* at, int value) {
    at[0] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

// ceil(7k / 9); integer division truncates toward zero, which is the ceiling for negative k.
// Worked out here on its own rather than taken from the station's correction, so that a mistake
// there shows as sensor frames that fail.
int Ch2Addend(int k) {
    return k >= 0 ? (7 * k + 8) / 9 : -((-7 * k) / 9);
}

std::string MotorName(int direction) {
    return direction > 0 ? "runs +" : direction < 0 ? "runs -" : "stopped";
}

}  // namespace

std::optional<Fault> FaultFromName(std::string_view name) {
    for (Fault f : Faults()) {
        if (FaultName(f) == name) {
            return f;
        }
    }
    return std::nullopt;
}

std::vector<Fault> Faults() {
    std::vector<Fault> faults;
    for (const mv62::PlanStage& s : mv62::kStages) {
        if (mv62::JudgedMeasurementOf(s.stage) != nullptr) {
            faults.push_back(s.stage);
        }
    }
    return faults;
}

Bytes MakeFrame(std::uint8_t code, std::span<const std::uint8_t> data) {
    if (static_cast<int>(data.size()) + mv62::kHeaderLength != mv62::FrameLengthFor(code)) {
        throw std::logic_error("device frame of wrong length");
    }
    return mv62::MakeDeviceFrame(code, data);
}

int RawForCorrected(int channel, int corrected, int k) {
    if (channel == 1) {
        return corrected - Ch2Addend(k) + 8;
    }
    return corrected + (8 - k) / 3;
}

SensorSample MakeSensorSample(const DeviceConfig& config, int frame) {
    SensorSample s;
    const bool failing = config.faults.count(Fault::Sensor) != 0;
    for (int ch = 0; ch < mv62::kChannels; ++ch) {
        // A little deterministic jitter, well inside the tolerance of 4 and above the minimums.
        const int jitter = (frame * 3 + ch * 2) % 5 - 2;
        const int corrected = mv62::CalibTarget[ch] + (failing ? kOpticsFaultShift : jitter);
        const int raw = RawForCorrected(ch, corrected, config.sensorOffset);
        const int clippedRaw = std::clamp(raw, 0, 255);
        s.clipped = s.clipped || clippedRaw != raw;
        s.raw[ch] = static_cast<std::uint8_t>(clippedRaw);
        const int peakJitter = (frame * 2 + ch * 3) % 7 - 3;
        s.peak[ch] = static_cast<std::uint8_t>((failing ? kFailingPeak : kNormalPeak) + peakJitter);
    }
    return s;
}

SensorSample MakeUnitSensorSample(const Unit& unit, int sensorOffset, int frame, bool last) {
    SensorSample s;
    const bool failing = unit.faults.count(Fault::Sensor) != 0;
    for (int ch = 0; ch < mv62::kChannels; ++ch) {
        const int jitter = last ? 0 : (frame + ch) % 3 - 1;
        const int corrected = failing ? mv62::CalibTarget[ch] + kOpticsFaultShift
                                      : WholeValue(unit.corrected[ch]) + jitter;
        const int raw = RawForCorrected(ch, corrected, sensorOffset);
        const int clippedRaw = std::clamp(raw, 0, 255);
        s.clipped = s.clipped || clippedRaw != raw;
        s.raw[ch] = static_cast<std::uint8_t>(clippedRaw);
        const int peak = failing ? kFailingPeak : WholeValue(unit.peak[ch]) + jitter;
        s.peak[ch] = static_cast<std::uint8_t>(std::clamp(peak, 0, 255));
    }
    return s;
}

DeviceModel::DeviceModel(DeviceConfig config) : config_(std::move(config)) {
    dac_.fill(kDefaultDac);
    ResetEeprom();
    if (config_.population.enabled) {
        population_.emplace(config_.population, config_.motorCount);
    }
}

SensorSample DeviceModel::Sample(int frame, bool last) const {
    return unit_ ? MakeUnitSensorSample(*unit_, config_.sensorOffset, frame, last)
                 : MakeSensorSample(config_, frame);
}

void DeviceModel::ResetEeprom() {
    eeprom_.fill(0xFF);
    std::fill_n(eeprom_.begin() + kEepromIdent, 16, 0);
    for (std::size_t i = 0; i < config_.ident.size() && i < 16; ++i) {
        eeprom_[kEepromIdent + i] = static_cast<std::uint8_t>(config_.ident[i]);
    }
    StoreDacInEeprom();
    std::copy(countryMask_.begin(), countryMask_.end(), eeprom_.begin() + kEepromCountry);
    eeprom_[kEepromOffset] = static_cast<std::uint8_t>(config_.sensorOffset + 100);
    PutBigEndian(&eeprom_[kEepromLens], config_.lensCount);
}

void DeviceModel::StoreDacInEeprom() {
    for (int i = 0; i < mv62::kDriveChannels; ++i) {
        PutBigEndian(&eeprom_[kEepromDac + 2 * i], dac_[i]);
    }
}

void DeviceModel::Plan(Activity activity, SimTime at, int step, Emission reply) {
    Job job;
    job.at = at;
    job.order = nextOrder_++;
    job.activity = activity;
    job.step = step;
    job.reply = std::move(reply);
    jobs_.push_back(std::move(job));
}

void DeviceModel::Reply(SimTime at, std::uint8_t code, std::span<const std::uint8_t> data,
                        std::string what) {
    Emission e;
    e.bytes = MakeFrame(code, data);
    e.what = std::move(what);
    Plan(Activity::Reply, at, 0, std::move(e));
}

void DeviceModel::Cancel(Activity activity) {
    std::erase_if(jobs_, [&](const Job& j) { return j.activity == activity; });
}

std::vector<std::string> DeviceModel::StopAll() {
    std::vector<std::string> notes;
    for (const Job& j : jobs_) {
        switch (j.activity) {
            case Activity::SensorRun:
                notes.push_back("sensor run stopped after " + std::to_string(j.step) +
                                " frames (no 0x26)");
                break;
            case Activity::MotorTest:
                notes.push_back("motor test stopped after " + std::to_string(j.step) +
                                " of 3 replies");
                break;
            case Activity::LampTest:
                notes.push_back("lamp test stopped at step " + std::to_string(j.step));
                break;
            case Activity::Reply:
                notes.push_back("pending reply dropped: " + j.reply.what);
                break;
            case Activity::Maintenance:
                break;
        }
    }
    std::erase_if(jobs_, [](const Job& j) { return j.activity != Activity::Maintenance; });
    if (outputs_.transportMotor != 0) {
        outputs_.transportMotor = 0;
        notes.push_back("transport motor stopped");
    }
    return notes;
}

std::vector<std::string> DeviceModel::Receive(const HostCommand& cmd, SimTime now) {
    const std::uint8_t code = cmd.code;
    if (config_.silent.count(code) != 0) {
        return {"silent: no answer to this command (--silent)"};
    }
    if (cmd.kind == HostCommand::Kind::LoneStop || code == kStopCode) {
        auto notes = StopAll();
        if (notes.empty()) {
            notes.push_back("nothing to stop");
        }
        return notes;
    }

    // The manual controls work in maintenance mode only.
    const bool manual = (code >= cmd::MotorPlus && code <= cmd::HomePosition);
    if (manual && !maintenance_) {
        return {"ignored: not in maintenance mode"};
    }
    const int lampPattern = LampPatternFromCode(code);
    if (lampPattern >= 0) {
        for (int i = 0; i < 3; ++i) {
            outputs_.lamps[i] = ((lampPattern >> (2 - i)) & 1) != 0;
        }
        return {};
    }

    std::vector<std::string> notes;
    switch (code) {
        case cmd::StartLink: {
            // A new link starts from the device's normal state.
            notes = StopAll();
            if (maintenance_) {
                Cancel(Activity::Maintenance);
                maintenance_ = false;
                notes.push_back("left maintenance mode");
            }
            std::array<std::uint8_t, mv62::kIdentificationLength> text{};
            std::copy_n(config_.ident.begin(),
                        std::min<std::size_t>(config_.ident.size(), text.size()), text.begin());
            Reply(now, reply::Identification, text, "identification \"" + config_.ident + "\"");
            std::array<std::uint8_t, 3> lens{static_cast<std::uint8_t>(config_.sensorOffset + 100)};
            PutBigEndian(&lens[1], config_.lensCount);
            Reply(now + kIdentSpacing, reply::OffsetAndLens, lens,
                  "sensor offset " + std::to_string(config_.sensorOffset) + ", lens count " +
                      std::to_string(config_.lensCount));
            Reply(now + 2 * kIdentSpacing, reply::ExchangeSensors, config_.exchange,
                  "exchange sensors " + HexBytes(config_.exchange));
            break;
        }
        case cmd::ChannelDac: {
            const int index = cmd.params.size() == 3 ? DriveIndexForChannel(cmd.params[0]) : -1;
            if (index < 0) {
                notes.push_back("unknown DAC channel: ignored");
                break;
            }
            dac_[index] = static_cast<std::uint16_t>(cmd.params[1] * 256 + cmd.params[2]);
            StoreDacInEeprom();
            notes.push_back("D" + std::to_string(index + 1) + " = " + std::to_string(dac_[index]));
            break;
        }
        case cmd::SensorRun:
            // On a line, each sensor run (Auto Test or CALIBRATION) is the next unit's.
            if (population_) {
                unit_ = population_->Next();
                unit_->faults.insert(config_.faults.begin(), config_.faults.end());  // --fail
                notes.push_back(DescribeUnit(*unit_));
            }
            Cancel(Activity::SensorRun);
            Plan(Activity::SensorRun, now + (config_.stream ? SimTime{} : config_.sensorPeriod));
            if (config_.stream) {
                notes.push_back("sensor run: frames back to back at line speed until stopped");
            } else {
                notes.push_back(
                    "sensor run: " + std::to_string(config_.sensorFrames) + " frames every " +
                    std::to_string(config_.sensorPeriod.count() / 1000) + " ms, then 0x26");
            }
            break;
        case cmd::MotorTest:
            Cancel(Activity::MotorTest);
            outputs_.transportMotor = 1;
            outputs_.home = false;
            Plan(Activity::MotorTest, now + kMotorSpacing);
            notes.push_back("transport motor runs +; three motor replies follow");
            break;
        case cmd::PulseTest:
        case cmd::FishTest:
        case cmd::EepromTest:
        case cmd::IoTest: {
            // The result byte the test's limit asks for, or 0 from a unit made to fail it.
            const mv62::PlanStage& stage = mv62::InPlan(*mv62::StageStartedBy(code));
            const mv62::PlanMeasurement& result = *mv62::JudgedMeasurementOf(stage.stage);
            const auto byte =
                static_cast<std::uint8_t>(Has(stage.stage) ? 0 : result.limit(0, false).low);
            Reply(now, stage.answer, std::array{byte},
                  std::string(mv62::ReplyName(stage.answer)) + ' ' + HexBytes(std::array{byte}));
            break;
        }
        case cmd::LampTest:
            Cancel(Activity::LampTest);
            Plan(Activity::LampTest, now);
            break;
        case cmd::ReadSw1:
            Reply(now, reply::Sw1Positions, std::array{config_.sw1High, config_.sw1Low},
                  "SW1 " + HexBytes(std::array{config_.sw1High, config_.sw1Low}));
            break;
        case cmd::ReadSw2:
            Reply(now, reply::Sw2Positions, std::array{config_.sw2},
                  "SW2 " + HexBytes(std::array{config_.sw2}));
            break;
        case cmd::MaintenanceOn:
            if (!maintenance_) {
                maintenance_ = true;
                Plan(Activity::Maintenance, now + kReportSpacing);
            }
            notes.push_back("maintenance mode: reports 0x20..0x23 every 500 ms");
            break;
        case cmd::MaintenanceOff:
            if (maintenance_) {
                Cancel(Activity::Maintenance);
                maintenance_ = false;
            }
            notes.push_back("normal mode");
            break;
        case cmd::MotorPlus:
        case cmd::MotorMinus:
        case cmd::MotorStop:
            outputs_.transportMotor = code == cmd::MotorPlus ? 1 : code == cmd::MotorMinus ? -1 : 0;
            if (outputs_.transportMotor != 0) {
                outputs_.home = false;
            }
            notes.push_back("transport motor " + MotorName(outputs_.transportMotor));
            break;
        case cmd::LedOn:
        case cmd::LedOff:
            outputs_.led = code == cmd::LedOn;
            break;
        case cmd::IrOn:
        case cmd::IrOff:
            outputs_.ir = code == cmd::IrOn;
            break;
        case cmd::CashMotorPlus:
        case cmd::CashMotorMinus:
        case cmd::CashMotorStop:
            outputs_.cashMotor = code == cmd::CashMotorPlus    ? 1
                                 : code == cmd::CashMotorMinus ? -1
                                                               : 0;
            notes.push_back("cash-box motor " + MotorName(outputs_.cashMotor));
            break;
        case cmd::HomePosition:
            outputs_.transportMotor = 0;
            outputs_.home = true;
            notes.push_back("at home position");
            break;
        case cmd::CountryWrite:
            if (cmd.params.size() != countryMask_.size()) {
                notes.push_back("incomplete country mask: ignored");
                break;
            }
            std::copy(cmd.params.begin(), cmd.params.end(), countryMask_.begin());
            std::copy(countryMask_.begin(), countryMask_.end(), eeprom_.begin() + kEepromCountry);
            Reply(now, reply::Acknowledge, std::array<std::uint8_t, 1>{0x01},
                  "country mask stored");
            break;
        case cmd::DefaultDac:
            dac_.fill(kDefaultDac);
            StoreDacInEeprom();
            notes.push_back("all drive values " + std::to_string(kDefaultDac));
            break;
        case cmd::EepromFill:
            eeprom_.fill(0xFF);
            notes.push_back("EEPROM filled with FF");
            break;
        case cmd::EepromRead: {
            Emission e;
            e.bytes.assign(eeprom_.begin(), eeprom_.end());
            e.framed = false;
            e.what = "EEPROM read-out, " + std::to_string(kEepromSize) + " raw bytes";
            Plan(Activity::Reply, now, 0, std::move(e));
            break;
        }
        default:
            notes.push_back("unknown command: ignored");
            break;
    }
    return notes;
}

Emission DeviceModel::SensorFrame(SimTime at, int frame, bool last) {
    const SensorSample s = Sample(frame, last);
    mv62::SensorFrameData data;
    data.raw = s.raw;
    data.byte9 = static_cast<std::uint8_t>(frame & 0xFF);  // the frame number in the run
    data.byte10 = 0;                                       // not used
    data.drive = dac_;
    data.peak = s.peak;
    Emission e;
    e.at = at;
    e.bytes = mv62::EncodeSensorFrame(last ? reply::LastSensorFrame : reply::SensorFrame, data);
    e.routine = !last;
    e.what = last ? "sensor run over: 0x26 after " + std::to_string(frame) + " frames"
                  : "sensor frame " + std::to_string(frame);
    return e;
}

Emission DeviceModel::MaintenanceReport(SimTime at, int step) {
    Emission e;
    e.at = at;
    e.routine = true;
    switch (step % 4) {
        case 0: {
            const std::uint8_t fish = Has(Fault::Fish) ? 2 : 1;  // 1 normal, 2 fished
            e.bytes = MakeFrame(reply::FishState, std::array{fish});
            e.what = "fish sensor " + std::to_string(fish);
            break;
        }
        case 1: {
            const std::uint8_t hook = outputs_.home ? 1 : 0;
            e.bytes = MakeFrame(reply::HookSensor, std::array{hook});
            e.what = "hook sensor " + std::to_string(hook);
            break;
        }
        case 2: {
            // A moving transport carries something past the in sensor.
            const std::uint8_t in = outputs_.transportMotor != 0 ? 1 : 0;
            e.bytes = MakeFrame(reply::InSensor, std::array{in});
            e.what = "in sensor " + std::to_string(in);
            break;
        }
        default: {
            // The optical sensors read their LEDs' light, or nothing with the LEDs off.
            std::array<std::uint8_t, mv62::kChannels> readings{};
            if (outputs_.led) {
                readings = Sample(step / 4, false).raw;
            }
            e.bytes = MakeFrame(reply::SensorReadings, readings);
            e.what = "sensor readings " + HexBytes(readings);
            break;
        }
    }
    return e;
}

Emission DeviceModel::Produce(const Job& job) {
    switch (job.activity) {
        case Activity::Reply: {
            Emission e = job.reply;
            e.at = job.at;
            return e;
        }
        case Activity::SensorRun: {
            if (config_.stream || job.step < config_.sensorFrames) {
                SimTime next = config_.sensorPeriod;
                if (config_.stream) {
                    // One 33-byte frame's time on the line (11 bits per byte), rounded up.
                    const long long bits = mv62::sensor_layout::kLength * 11LL * 1'000'000;
                    next = SimTime{(bits + config_.baud - 1) / config_.baud};
                }
                Plan(Activity::SensorRun, job.at + next, job.step + 1);
                return SensorFrame(job.at, job.step, false);
            }
            return SensorFrame(job.at, job.step, true);
        }
        case Activity::MotorTest: {
            const int count = Has(Fault::Motor) ? 400
                              : unit_           ? unit_->motorCount
                                                : config_.motorCount;
            std::array<std::uint8_t, 2> data{};
            PutBigEndian(data.data(), count);
            Emission e;
            e.at = job.at;
            e.bytes = MakeFrame(reply::MotorRate, data);
            e.what = "motor reply " + std::to_string(job.step + 1) + "/3: count " +
                     std::to_string(count) + " (" + std::to_string(mv62::MotorRpm(count)) + " rpm)";
            if (job.step < 2) {
                Plan(Activity::MotorTest, job.at + kMotorSpacing, job.step + 1);
            }
            return e;
        }
        case Activity::LampTest: {
            Emission e;
            e.at = job.at;
            e.bytes = MakeFrame(reply::LampStep, std::array{static_cast<std::uint8_t>(job.step)});
            e.what = "lamp step " + std::to_string(job.step);
            if (job.step < mv62::kLastLampStep) {
                Plan(Activity::LampTest, job.at + kLampSpacing, job.step + 1);
            }
            return e;
        }
        case Activity::Maintenance:
            Plan(Activity::Maintenance, job.at + kReportSpacing, job.step + 1);
            return MaintenanceReport(job.at, job.step);
    }
    return {};
}

std::vector<Emission> DeviceModel::TakeDue(SimTime now) {
    std::vector<Emission> out;
    auto earlier = [](const Job& a, const Job& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    };
    for (;;) {
        auto it = std::min_element(jobs_.begin(), jobs_.end(), earlier);
        if (it == jobs_.end() || it->at > now) {
            break;
        }
        const Job job = std::move(*it);
        jobs_.erase(it);
        out.push_back(Produce(job));
    }
    return out;
}

std::optional<SimTime> DeviceModel::NextDue() const {
    std::optional<SimTime> next;
    for (const Job& j : jobs_) {
        if (!next || j.at < *next) {
            next = j.at;
        }
    }
    return next;
}

}  // namespace mv62sim
