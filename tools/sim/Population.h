#pragma once
// A line of units tested one after another on the same bench: each sensor run (Auto Test or
// CALIBRATION) meets a new unit. Its values spread around a good unit's, chosen channels drift
// from one unit to the next, and each judged test fails at a given rate. The units are drawn
// from a seed: the same settings and seed give the same units, in the same order.
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>

#include "TestPlan.h"

namespace mv62sim {

// A judged stage of the automatic test, as a unit can be made to fail it (see DeviceModel.h).
using Fault = mv62::Stage;

// The peak a good unit's channels show.
inline constexpr int kNormalPeak = 120;

// The motor's encoder count spreads by this many counts for each unit of spread: its pass band in
// counts (3500 .. 5000 rpm at 60 rpm per 11 counts: 275) is this many times as wide as the
// optics' (target ± 4), so that one spread leaves the motor about as far inside its limits.
inline constexpr double kEncoderCountsPerSpread =
    (mv62::kMotorRpmLimit.high - mv62::kMotorRpmLimit.low) * 11.0 / 60.0 /
    (2.0 * mv62::CalibTolerance);

struct PopulationConfig {
    bool enabled = false;  // off: the device is one good unit for ever, as without a population
    // Standard deviation of the corrected values around their targets and of the peaks around
    // kNormalPeak (in their own units); kEncoderCountsPerSpread times this for the motor.
    double spread = 1.0;
    // How far each channel's corrected value moves from one unit to the next.
    std::array<double, mv62::kChannels> driftPerUnit{};
    // The chance that a unit fails this test; tests not named never fail.
    std::map<Fault, double> failRate;
    std::uint64_t seed = 1;
};

// What one unit was given.
struct Unit {
    int number = 0;                                   // 1 for the first unit of the line
    std::array<double, mv62::kChannels> corrected{};  // drift included
    std::array<double, mv62::kChannels> peak{};
    int motorCount = 0;  // encoder count per second
    std::set<Fault> faults;
    std::array<double, mv62::kChannels> drifted{};  // how far each channel has drifted so far
};

class Population {
  public:
    // `motorCount` is the encoder count of a good unit's motor (--motor-count).
    Population(const PopulationConfig& config, int motorCount);

    Unit Next();

  private:
    PopulationConfig config_;
    int motorCount_;
    int made_ = 0;
    // Values and failures are drawn apart, so that a fail rate given or changed leaves the
    // units' values as they were, and each test's failures do not depend on the others' rates.
    std::mt19937_64 values_;
    std::mt19937_64 failures_;
};

// A unit's value as its frames carry it: the whole number nearest, kept far enough out of the
// way of an overflow for any drift a line sees.
int WholeValue(double value);

// The log's line for a new unit: its number, its values as its closing frame carries them, the
// tests it is made to fail, its drift so far.
std::string DescribeUnit(const Unit& unit);

// The population's settings for the simulator's opening line.
std::string DescribePopulation(const PopulationConfig& config);

}  // namespace mv62sim
