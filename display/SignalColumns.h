#pragma once
// The geometry and colours of the six signal columns, shared by the window's columns and the
// printed report that draws them again from a run record. Plain constants, no widgets.
#include <cstdint>

namespace columns {
inline constexpr int kWidth = 50;
inline constexpr int kHeight = 512;  // value v lies at row kHeight - kRowsPerUnit * v
inline constexpr int kRowsPerUnit = 2;
inline constexpr int kPitch = 51;  // from one column's left edge to the next one's
inline constexpr int kBarWidth = 12;
inline constexpr int kPeakBarLeft = 14;   // the white bar of the peak value
inline constexpr int kCalibBarLeft = 27;  // the blue bar of the corrected value
// 0xAARRGGBB
inline constexpr std::uint32_t kPeakBar = 0xFFFFFFFF;
inline constexpr std::uint32_t kCalibBar = 0xFF2B85FF;
inline constexpr std::uint32_t kThresholdLine = 0x6600FF00;  // the lowest acceptable peak
inline constexpr std::uint32_t kThresholdText = 0xFF00FF00;
}  // namespace columns
