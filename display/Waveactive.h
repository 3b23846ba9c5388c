#pragma once
// Redraws the bars of the signal columns: the peak values in white, the corrected values in blue.
#include <cstdint>

struct TSignalDisplayElements;

// Peak value of each channel 0..count-1 (at most 200) as a white bar with its number, in the
// channel's SenMaxLayer.
void ShowMaxBars(TSignalDisplayElements& e, const std::uint32_t* values, int count);
// Corrected value of each channel as a blue bar with a blue number, in SenCalibLayer; the bar is
// white where the value equals the channel's entry of maxValues.
void ShowCalibBars(TSignalDisplayElements& e, const std::uint32_t* values, int count,
                   const std::uint32_t* maxValues);
