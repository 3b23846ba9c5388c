#include "sim/Population.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/DeviceModel.h"

namespace mv62sim {

namespace {

// One of the population's random streams: the seed and the stream's own tag.
std::mt19937_64 Stream(std::uint64_t seed, std::uint32_t tag) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           tag};
    return std::mt19937_64(sequence);
}

// A number as the log shows it: `decimals` after the point, or as short as it goes with none.
std::string Number(double value, int decimals = -1) {
    char text[32];
    if (decimals < 0) {
        std::snprintf(text, sizeof text, "%g", value);
    } else {
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
    }
    return text;
}

std::string Channel(int index) {
    return "ch" + std::to_string(index + 1);
}

}  // namespace

Population::Population(const PopulationConfig& config, int motorCount)
    : config_(config),
      motorCount_(motorCount),
      values_(Stream(config.seed, 1)),
      failures_(Stream(config.seed, 2)) {}

Unit Population::Next() {
    Unit unit;
    unit.number = ++made_;
    // Every value and every test is drawn for every unit whatever the settings, so that one
    // setting changed leaves the draws of the others where they were.
    std::normal_distribution<double> standard;
    auto deviation = [&] { return config_.spread * standard(values_); };
    for (int ch = 0; ch < mv62::kChannels; ++ch) {
        unit.drifted[ch] = config_.driftPerUnit[ch] * (unit.number - 1);
        unit.corrected[ch] = mv62::CalibTarget[ch] + unit.drifted[ch] + deviation();
    }
    for (double& peak : unit.peak) {
        peak = kNormalPeak + deviation();
    }
    const double count = motorCount_ + kEncoderCountsPerSpread * deviation();
    unit.motorCount = static_cast<int>(std::lround(std::clamp(count, 0.0, 65535.0)));
    for (Fault test : Faults()) {
        const auto rate = config_.failRate.find(test);
        std::bernoulli_distribution fails(rate == config_.failRate.end() ? 0.0 : rate->second);
        if (fails(failures_)) {
            unit.faults.insert(test);
        }
    }
    return unit;
}

int WholeValue(double value) {
    return static_cast<int>(std::lround(std::clamp(value, -1e6, 1e6)));
}

std::string DescribeUnit(const Unit& unit) {
    std::string line = "unit " + std::to_string(unit.number) + ": optics";
    for (double value : unit.corrected) {
        line += ' ' + std::to_string(WholeValue(value));
    }
    line += ", peaks";
    for (double peak : unit.peak) {
        line += ' ' + std::to_string(WholeValue(peak));
    }
    line += ", motor count " + std::to_string(unit.motorCount);
    std::string fails;
    for (Fault test : unit.faults) {
        fails += (fails.empty() ? "" : ", ") + std::string(FaultName(test));
    }
    if (!fails.empty()) {
        line += "; made to fail " + fails;
    }
    std::string drifts;
    for (int ch = 0; ch < mv62::kChannels; ++ch) {
        if (unit.drifted[ch] != 0) {
            drifts += ' ' + Channel(ch) + ' ' + (unit.drifted[ch] > 0 ? "+" : "") +
                      Number(unit.drifted[ch], 2);
        }
    }
    if (!drifts.empty()) {
        line += "; drifted" + drifts;
    }
    return line;
}

std::string DescribePopulation(const PopulationConfig& config) {
    std::string text = "population of units (seed " + std::to_string(config.seed) + "): spread " +
                       Number(config.spread);
    for (int ch = 0; ch < mv62::kChannels; ++ch) {
        if (config.driftPerUnit[ch] != 0) {
            text += ", " + Channel(ch) + " drifts " + Number(config.driftPerUnit[ch]) + " a unit";
        }
    }
    for (const auto& [test, rate] : config.failRate) {
        text += ", " + std::string(FaultName(test)) + " fails at " + Number(rate);
    }
    return text;
}

}  // namespace mv62sim
