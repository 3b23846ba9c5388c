#include "sim/DeviceModel.h"

#include <algorithm>
#include <stdexcept>

namespace mv62sim {

namespace {

// Spacing of the device's answers. Frames are spaced so that the station, which looks at its
// port every 100 ms and handles only the latest frame of what it finds, sees each one.
constexpr SimTime kIdentSpacing = 200ms;   // 0x00, then 0x27, then 0x25
constexpr SimTime kMotorSpacing = 300ms;   // the three motor replies
constexpr SimTime kLampSpacing = 500ms;    // lamp steps 0..3
constexpr SimTime kReportSpacing = 125ms;  // maintenance reports, four per 500 ms

constexpr std::array<int, kSensorChannels> kTarget = {20, 50, 20, 20, 20, 20};
constexpr int kNormalPeak = 120;
constexpr int kFailingPeak = 20;       // below every channel's minimum
constexpr int kOpticsFaultShift = 40;  // far outside the tolerance of 4

void PutBigEndian(std::uint8_t* at, int value) {
    at[0] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

int Rpm(int count) {
    return count / 11 * 60;
}

// ceil(7k / 9); integer division truncates toward zero, which is the ceiling for negative k.
int Ch2Addend(int k) {
    return k >= 0 ? (7 * k + 8) / 9 : -((-7 * k) / 9);
}

std::string MotorName(int direction) {
    return direction > 0 ? "runs +" : direction < 0 ? "runs -" : "stopped";
}

}  // namespace

std::optional<Fault> FaultFromName(std::string_view name) {
    for (Fault f :
         {Fault::Fish, Fault::Eeprom, Fault::Io, Fault::Pulse, Fault::MotorSpeed, Fault::Optics}) {
        if (FaultName(f) == name) {
            return f;
        }
    }
    return std::nullopt;
}

std::string_view FaultName(Fault fault) {
    switch (fault) {
        case Fault::Fish:
            return "fish";
        case Fault::Eeprom:
            return "eeprom";
        case Fault::Io:
            return "io";
        case Fault::Pulse:
            return "pulse";
        case Fault::MotorSpeed:
            return "motor-speed";
        case Fault::Optics:
            return "optics";
    }
    return "?";
}

int ReplyFrameLength(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return 26;
        case 0x02:
        case 0x26:
            return 33;
        case 0x03:
        case 0x06:
            return 5;
        case 0x27:
            return 6;
        case 0x04:
        case 0x05:
        case 0x07:
        case 0x08:
        case 0x09:
        case 0x10:
        case 0x20:
        case 0x21:
        case 0x22:
        case 0x24:
            return 4;
        case 0x23:
        case 0x25:
            return 9;
        default:
            return 0;
    }
}

Bytes MakeFrame(std::uint8_t code, std::span<const std::uint8_t> data) {
    if (static_cast<int>(data.size()) + 3 != ReplyFrameLength(code)) {
        throw std::logic_error("device frame of wrong length");
    }
    Bytes frame(data.size() + 3);
    frame[0] = kSync1;
    frame[1] = kSync2;
    frame[2] = code;
    std::copy(data.begin(), data.end(), frame.begin() + 3);
    return frame;
}

int RawForCorrected(int channel, int corrected, int k) {
    if (channel == 1) {
        return corrected - Ch2Addend(k) + 8;
    }
    return corrected + (8 - k) / 3;
}

SensorSample MakeSensorSample(const DeviceConfig& config, int frame) {
    SensorSample s;
    const bool failing = config.faults.count(Fault::Optics) != 0;
    for (int ch = 0; ch < kSensorChannels; ++ch) {
        // A little deterministic jitter, well inside the tolerance of 4 and above the minimums.
        const int jitter = (frame * 3 + ch * 2) % 5 - 2;
        const int corrected = kTarget[ch] + (failing ? kOpticsFaultShift : jitter);
        const int raw = RawForCorrected(ch, corrected, config.sensorOffset);
        const int clippedRaw = std::clamp(raw, 0, 255);
        s.clipped = s.clipped || clippedRaw != raw;
        s.raw[ch] = static_cast<std::uint8_t>(clippedRaw);
        const int peakJitter = (frame * 2 + ch * 3) % 7 - 3;
        s.peak[ch] = static_cast<std::uint8_t>((failing ? kFailingPeak : kNormalPeak) + peakJitter);
    }
    return s;
}

DeviceModel::DeviceModel(DeviceConfig config) : config_(std::move(config)) {
    dac_.fill(kDefaultDac);
    ResetEeprom();
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
    for (int i = 0; i < kDriveOutputs; ++i) {
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
    const bool manual = (code >= 0x32 && code <= 0x50);
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
        case 0x00: {
            // A new link starts from the device's normal state.
            notes = StopAll();
            if (maintenance_) {
                Cancel(Activity::Maintenance);
                maintenance_ = false;
                notes.push_back("left maintenance mode");
            }
            std::array<std::uint8_t, 23> text{};
            std::copy_n(config_.ident.begin(), std::min<std::size_t>(config_.ident.size(), 23),
                        text.begin());
            Reply(now, 0x00, text, "identification \"" + config_.ident + "\"");
            std::array<std::uint8_t, 3> lens{static_cast<std::uint8_t>(config_.sensorOffset + 100)};
            PutBigEndian(&lens[1], config_.lensCount);
            Reply(now + kIdentSpacing, 0x27, lens,
                  "sensor offset " + std::to_string(config_.sensorOffset) + ", lens count " +
                      std::to_string(config_.lensCount));
            Reply(now + 2 * kIdentSpacing, 0x25, config_.exchange,
                  "exchange sensors " + HexBytes(config_.exchange));
            break;
        }
        case 0x01: {
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
        case 0x02:
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
        case 0x07:
            Cancel(Activity::MotorTest);
            outputs_.transportMotor = 1;
            outputs_.home = false;
            Plan(Activity::MotorTest, now + kMotorSpacing);
            notes.push_back("transport motor runs +; three motor replies follow");
            break;
        case 0x08: {
            const std::uint8_t result = Has(Fault::Pulse) ? 0x00 : 0x10;
            Reply(now, 0x04, std::array{result}, "pulse result " + HexBytes(std::array{result}));
            break;
        }
        case 0x11:
        case 0x12:
        case 0x13: {
            struct Test {
                std::uint8_t reply;
                Fault fault;
                const char* name;
            };
            const Test t = code == 0x11   ? Test{0x08, Fault::Fish, "fish sensor"}
                           : code == 0x12 ? Test{0x09, Fault::Eeprom, "EEPROM"}
                                          : Test{0x10, Fault::Io, "I/O"};
            const std::uint8_t result = Has(t.fault) ? 0 : 1;
            Reply(now, t.reply, std::array{result},
                  std::string(t.name) + " result " + std::to_string(result));
            break;
        }
        case 0x14:
            Cancel(Activity::LampTest);
            Plan(Activity::LampTest, now);
            break;
        case 0x15:
            Reply(now, 0x06, std::array{config_.sw1High, config_.sw1Low},
                  "SW1 " + HexBytes(std::array{config_.sw1High, config_.sw1Low}));
            break;
        case 0x16:
            Reply(now, 0x07, std::array{config_.sw2}, "SW2 " + HexBytes(std::array{config_.sw2}));
            break;
        case 0x30:
            if (!maintenance_) {
                maintenance_ = true;
                Plan(Activity::Maintenance, now + kReportSpacing);
            }
            notes.push_back("maintenance mode: reports 0x20..0x23 every 500 ms");
            break;
        case 0x31:
            if (maintenance_) {
                Cancel(Activity::Maintenance);
                maintenance_ = false;
            }
            notes.push_back("normal mode");
            break;
        case 0x32:
        case 0x33:
        case 0x34:
            outputs_.transportMotor = code == 0x32 ? 1 : code == 0x33 ? -1 : 0;
            if (outputs_.transportMotor != 0) {
                outputs_.home = false;
            }
            notes.push_back("transport motor " + MotorName(outputs_.transportMotor));
            break;
        case 0x43:
        case 0x44:
            outputs_.led = code == 0x43;
            break;
        case 0x45:
        case 0x46:
            outputs_.ir = code == 0x45;
            break;
        case 0x47:
        case 0x48:
        case 0x49:
            outputs_.cashMotor = code == 0x47 ? 1 : code == 0x48 ? -1 : 0;
            notes.push_back("cash-box motor " + MotorName(outputs_.cashMotor));
            break;
        case 0x50:
            outputs_.transportMotor = 0;
            outputs_.home = true;
            notes.push_back("at home position");
            break;
        case 0x51:
            if (cmd.params.size() != countryMask_.size()) {
                notes.push_back("incomplete country mask: ignored");
                break;
            }
            std::copy(cmd.params.begin(), cmd.params.end(), countryMask_.begin());
            std::copy(countryMask_.begin(), countryMask_.end(), eeprom_.begin() + kEepromCountry);
            Reply(now, 0x24, std::array<std::uint8_t, 1>{0x01}, "country mask stored");
            break;
        case 0x52:
            dac_.fill(kDefaultDac);
            StoreDacInEeprom();
            notes.push_back("all drive values " + std::to_string(kDefaultDac));
            break;
        case 0x53:
            eeprom_.fill(0xFF);
            notes.push_back("EEPROM filled with FF");
            break;
        case 0x54: {
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
    const SensorSample s = MakeSensorSample(config_, frame);
    std::array<std::uint8_t, 30> data{};
    std::copy(s.raw.begin(), s.raw.end(), data.begin());
    data[6] = static_cast<std::uint8_t>(frame & 0xFF);  // byte 9: frame number in the run
    data[7] = 0;                                        // byte 10: not used
    for (int i = 0; i < kDriveOutputs; ++i) {
        PutBigEndian(&data[8 + 2 * i], dac_[i]);
    }
    std::copy(s.peak.begin(), s.peak.end(), data.begin() + 24);
    Emission e;
    e.at = at;
    e.bytes = MakeFrame(last ? 0x26 : 0x02, data);
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
            e.bytes = MakeFrame(0x20, std::array{fish});
            e.what = "fish sensor " + std::to_string(fish);
            break;
        }
        case 1: {
            const std::uint8_t hook = outputs_.home ? 1 : 0;
            e.bytes = MakeFrame(0x21, std::array{hook});
            e.what = "hook sensor " + std::to_string(hook);
            break;
        }
        case 2: {
            // A moving transport carries something past the in sensor.
            const std::uint8_t in = outputs_.transportMotor != 0 ? 1 : 0;
            e.bytes = MakeFrame(0x22, std::array{in});
            e.what = "in sensor " + std::to_string(in);
            break;
        }
        default: {
            // The optical sensors read their LEDs' light, or nothing with the LEDs off.
            std::array<std::uint8_t, 6> readings{};
            if (outputs_.led) {
                readings = MakeSensorSample(config_, step / 4).raw;
            }
            e.bytes = MakeFrame(0x23, readings);
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
                    const long long bits = 33LL * 11 * 1'000'000;
                    next = SimTime{(bits + config_.baud - 1) / config_.baud};
                }
                Plan(Activity::SensorRun, job.at + next, job.step + 1);
                return SensorFrame(job.at, job.step, false);
            }
            return SensorFrame(job.at, job.step, true);
        }
        case Activity::MotorTest: {
            const int count = Has(Fault::MotorSpeed) ? 400 : config_.motorCount;
            std::array<std::uint8_t, 2> data{};
            PutBigEndian(data.data(), count);
            Emission e;
            e.at = job.at;
            e.bytes = MakeFrame(0x03, data);
            e.what = "motor reply " + std::to_string(job.step + 1) + "/3: count " +
                     std::to_string(count) + " (" + std::to_string(Rpm(count)) + " rpm)";
            if (job.step < 2) {
                Plan(Activity::MotorTest, job.at + kMotorSpacing, job.step + 1);
            }
            return e;
        }
        case Activity::LampTest: {
            Emission e;
            e.at = job.at;
            e.bytes = MakeFrame(0x05, std::array{static_cast<std::uint8_t>(job.step)});
            e.what = "lamp step " + std::to_string(job.step);
            if (job.step < 3) {
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
