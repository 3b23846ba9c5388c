#include "ReplyMath.h"

#include <algorithm>

namespace mv62 {

int MotorRpm(int encoderCount) {
    return (encoderCount / 11) * 60;
}

std::string_view ComparisonName(Comparison c) {
    switch (c) {
        case Comparison::Exclusive:
            return "exclusive";
        case Comparison::Inclusive:
            return "inclusive";
        case Comparison::AtLeast:
            return "at-least";
        case Comparison::Equals:
            return "equals";
    }
    return {};
}

bool MotorSpeedPasses(int rpm, bool cashBox) {
    return MotorRpmLimit(cashBox).Passes(rpm);
}

bool EncoderPasses(int encoderCount) {
    return kEncoderLimit.Passes(encoderCount);
}

bool PulsePasses(std::uint8_t result) {
    return kPulseLimit.Passes(result);
}

bool ResultPasses(std::uint8_t result) {
    return kResultLimit.Passes(result);
}

int SensorOffsetFromByte(std::uint8_t b) {
    return b - 100;
}

std::uint32_t CorrectedSensorValue(int channel, std::uint8_t raw, int sensorOffset) {
    const int k = sensorOffset;
    int corrected = 0;
    if (channel == 1) {
        // ceil(7k / 9): integer division truncates toward zero, so only positive remainders
        // need rounding up.
        const int n = 7 * k;
        const int up = n / 9 + (n % 9 > 0 ? 1 : 0);
        corrected = raw + up - 8;
    } else {
        corrected = raw - (8 - k) / 3;
    }
    // A correction below zero reads as nothing, not as a full bar.
    return static_cast<std::uint32_t>(std::clamp(corrected, 0, static_cast<int>(kDisplayLimit)));
}

bool CalibValuePasses(int channel, std::uint32_t corrected) {
    if (channel < 0 || channel >= kChannels) {
        return false;
    }
    return CalibLimit(channel).Passes(corrected);
}

bool PeakPasses(int channel, int peak) {
    if (channel < 0 || channel >= kChannels) {
        return false;
    }
    return PeakLimit(channel).Passes(peak);
}

std::uint32_t LimitToDisplay(std::uint32_t v) {
    return std::min(v, kDisplayLimit);
}

bool Sw1PositionOn(std::uint8_t byte3, std::uint8_t byte4, int position) {
    if (position >= 1 && position <= 8) {
        return (byte4 >> (position - 1)) & 1;
    }
    if (position == 9 || position == 10) {
        return (byte3 >> (position - 9)) & 1;
    }
    return false;
}

bool Sw2PositionOn(std::uint8_t byte3, int position) {
    if (position < 1 || position > 4) {
        return false;
    }
    return (byte3 >> (position - 1)) & 1;
}

}  // namespace mv62
