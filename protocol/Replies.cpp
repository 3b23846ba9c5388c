#include "Replies.h"

#include <algorithm>

#include "ReplyMath.h"

namespace mv62 {

using namespace sensor_layout;

static_assert(std::ranges::find(kReplyTable, reply::Identification, &ReplyInfo::code)->length ==
              kHeaderLength + kIdentificationLength);
static_assert(std::ranges::find(kReplyTable, reply::SensorFrame, &ReplyInfo::code)->length ==
              kLength);

bool IsSensorFrame(std::uint8_t replyCode) {
    return replyCode == reply::SensorFrame || replyCode == reply::LastSensorFrame;
}

int BigEndian16(const DeviceFrame& frame, int at) {
    return frame[at] * 256 + frame[at + 1];
}

SensorFrameData DecodeSensorFrame(const DeviceFrame& f) {
    SensorFrameData d;
    for (int i = 0; i < kChannels; ++i) {
        d.raw[i] = f[kRaw + i];
        d.peak[i] = f[kPeak + i];
    }
    d.byte9 = f[kByte9];
    d.byte10 = f[kByte10];
    for (int l = 0; l < kDriveChannels; ++l) {
        d.drive[l] = static_cast<std::uint16_t>(BigEndian16(f, kDrive + 2 * l));
    }
    return d;
}

Bytes EncodeSensorFrame(std::uint8_t replyCode, const SensorFrameData& d) {
    Bytes frame(kLength, 0);
    frame[0] = kHeaderStart;
    frame[1] = kHeaderSecond;
    frame[2] = replyCode;
    std::copy(d.raw.begin(), d.raw.end(), frame.begin() + kRaw);
    frame[kByte9] = d.byte9;
    frame[kByte10] = d.byte10;
    for (int l = 0; l < kDriveChannels; ++l) {
        frame[kDrive + 2 * l] = static_cast<std::uint8_t>(d.drive[l] >> 8);
        frame[kDrive + 2 * l + 1] = static_cast<std::uint8_t>(d.drive[l] & 0xFF);
    }
    std::copy(d.peak.begin(), d.peak.end(), frame.begin() + kPeak);
    return frame;
}

std::string IdentificationText(const DeviceFrame& f) {
    std::string text;
    for (int i = kHeaderLength; i < f.length && f[i] != 0; ++i) {
        text += static_cast<char>(f[i]);
    }
    return text;
}

int EncoderCount(const DeviceFrame& f) {
    return BigEndian16(f, 3);
}

OffsetAndLensData DecodeOffsetAndLens(const DeviceFrame& f) {
    return {SensorOffsetFromByte(f[3]), BigEndian16(f, 4)};
}

std::array<std::uint8_t, 6> SixValues(const DeviceFrame& f) {
    std::array<std::uint8_t, 6> v{};
    for (int i = 0; i < 6; ++i) {
        v[i] = f[3 + i];
    }
    return v;
}

DeviceFrame ToDeviceFrame(std::span<const std::uint8_t> bytes) {
    DeviceFrame f;
    f.length = static_cast<int>(std::min<std::size_t>(bytes.size(), f.bytes.size()));
    std::copy_n(bytes.begin(), f.length, f.bytes.begin());
    return f;
}

}  // namespace mv62
