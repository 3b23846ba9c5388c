#pragma once
// The simulated MV62: what it answers to each host command and when. It is pure: it takes
// decoded commands with the time they arrived and hands out the frames it sends with the time
// each one is due, so that tests can run it on a clock of their own.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TestPlan.h"
#include "sim/CommandDecoder.h"
#include "sim/Population.h"

namespace mv62sim {

using namespace std::chrono_literals;

// What a unit can be made to fail (--fail NAME): a stage of the automatic test that judges, named
// as the test plan names a unit failing it. Fish, EEPROM and I/O answer 0, the pulse test 0x00,
// the motor an encoder count of 400 (2160 rpm), the optics values far off target and peaks below
// the minimum. (Fault itself is mv62::Stage, named in Population.h.)
std::optional<Fault> FaultFromName(std::string_view name);
using mv62::FaultName;
// Every fault, in the chain's order.
std::vector<Fault> Faults();

inline constexpr int kEepromSize = 256;

struct DeviceConfig {
    std::string ident = "MV62 SIM 1.0";  // identification text, at most 23 characters
    int sensorOffset = 0;                // -100 .. 155, reported as offset + 100
    int lensCount = 1234;
    std::array<std::uint8_t, mv62::kChannels> exchange{0xFF, 0xFF, 0xFF,
                                                       0xFF, 0xFF, 0xFF};  // 0xFF: not flagged
    int sensorFrames = 30;         // 0x02 frames of a sensor run before its 0x26
    SimTime sensorPeriod = 100ms;  // spacing of the sensor frames
    int motorCount = 800;          // encoder count per second of the motor replies
    std::uint8_t sw1High = 0x02;   // SW1 reply byte 3: positions 9, 10 in bits 0, 1
    std::uint8_t sw1Low = 0x81;    // SW1 reply byte 4: positions 1..8 in bits 0..7
    std::uint8_t sw2 = 0x05;       // SW2 reply byte 3: positions 1..4 in bits 0..3
    std::set<Fault> faults;
    std::set<std::uint8_t> silent;  // command codes the device ignores (0xED covers the lone stop)
    bool stream = false;            // sensor frames back to back at line speed, no end
    int baud = 9600;                // line speed, for the stream's frame spacing
    PopulationConfig population;    // a new unit at each sensor run, when enabled
};

inline constexpr std::uint16_t kDefaultDac = 512;

// A device frame: 0x55 0xAA code data. The data length must match the reply code's frame length.
Bytes MakeFrame(std::uint8_t code, std::span<const std::uint8_t> data);

// The six raw values and six peaks of sensor frame number `frame` of a run.
struct SensorSample {
    std::array<std::uint8_t, mv62::kChannels> raw{};
    std::array<std::uint8_t, mv62::kChannels> peak{};
    bool clipped = false;  // a raw value left 0..255 and was clipped: the targets are out of reach
};
SensorSample MakeSensorSample(const DeviceConfig& config, int frame);
// The same for a unit of a population; the run's closing frame (`last`) shows the unit's own
// values, the frames before it wander by one around them.
SensorSample MakeUnitSensorSample(const Unit& unit, int sensorOffset, int frame, bool last);

// Raw value that the station corrects to `corrected` on channel 0..5 with sensor offset k:
// channel 2 (index 1) reads S + ceil(7k/9) - 8, the others S - (8 - k) / 3.
int RawForCorrected(int channel, int corrected, int k);

// Something the device puts on the line.
struct Emission {
    SimTime at{};          // when it is due
    Bytes bytes;           // a frame, or the raw EEPROM read-out
    bool framed = true;    // false for the raw read-out
    bool routine = false;  // streamed sensor frames and maintenance reports: logged only if asked
    std::string what;      // for the log
};

// The device's outputs that the manual controls of maintenance mode drive.
struct Outputs {
    int transportMotor = 0;  // -1, 0 (stopped), +1
    int cashMotor = 0;       // -1, 0, +1
    std::array<bool, 3> lamps{};
    bool led = false;
    bool ir = false;
    bool home = false;  // moved to the home position and not moved since
};

class DeviceModel {
  public:
    explicit DeviceModel(DeviceConfig config);

    // Carries out a host command that arrived at `now`. Returns notes for the log.
    std::vector<std::string> Receive(const HostCommand& cmd, SimTime now);

    // True for a stop (55 AA ED or the lone ED) that the device hears: it also ends output
    // that has not started yet.
    bool IsHeardStop(const HostCommand& cmd) const {
        return cmd.code == kStopCode && config_.silent.count(kStopCode) == 0;
    }

    // Removes and returns, in time order, everything due at or before `now`.
    std::vector<Emission> TakeDue(SimTime now);

    // When the next output is due; none when the device has nothing planned.
    std::optional<SimTime> NextDue() const;

    const DeviceConfig& Config() const { return config_; }
    const std::array<std::uint16_t, mv62::kDriveChannels>& Dac() const { return dac_; }
    const Outputs& CurrentOutputs() const { return outputs_; }
    bool MaintenanceMode() const { return maintenance_; }
    const std::array<std::uint8_t, kEepromSize>& Eeprom() const { return eeprom_; }

  private:
    enum class Activity { Reply, SensorRun, MotorTest, LampTest, Maintenance };
    struct Job {
        SimTime at{};
        std::uint64_t order = 0;  // keeps jobs due at the same time in the order they were planned
        Activity activity = Activity::Reply;
        int step = 0;
        Emission reply;  // the prepared output of an Activity::Reply job
    };

    void Plan(Activity activity, SimTime at, int step = 0, Emission reply = {});
    void Reply(SimTime at, std::uint8_t code, std::span<const std::uint8_t> data, std::string what);
    void Cancel(Activity activity);
    // Ends every running sequence except the maintenance reports; returns what was stopped.
    std::vector<std::string> StopAll();
    Emission Produce(const Job& job);
    Emission SensorFrame(SimTime at, int frame, bool last);
    Emission MaintenanceReport(SimTime at, int step);
    void StoreDacInEeprom();
    void ResetEeprom();
    SensorSample Sample(int frame, bool last) const;
    bool Has(Fault f) const {
        return config_.faults.count(f) != 0 || (unit_ && unit_->faults.count(f) != 0);
    }

    DeviceConfig config_;
    std::vector<Job> jobs_;
    std::uint64_t nextOrder_ = 0;
    std::array<std::uint16_t, mv62::kDriveChannels> dac_{};
    mv62::CountryMaskBytes countryMask_{};
    std::array<std::uint8_t, kEepromSize> eeprom_{};
    Outputs outputs_;
    bool maintenance_ = false;
    std::optional<Population> population_;
    std::optional<Unit> unit_;  // the unit on the bench, from the population's first sensor run
};

// Where the simulated EEPROM keeps things (the read-out of 0x54 shows them).
inline constexpr int kEepromIdent = 0x00;    // 16 bytes of the identification text
inline constexpr int kEepromDac = 0x10;      // D1..D8, big-endian
inline constexpr int kEepromCountry = 0x20;  // the 30-byte country mask
inline constexpr int kEepromOffset = 0x3E;   // sensor offset + 100
inline constexpr int kEepromLens = 0x3F;     // lens count, big-endian

}  // namespace mv62sim
