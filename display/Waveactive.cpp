#include "Waveactive.h"

#include <algorithm>
#include <string>

#include "Canvas.h"
#include "SignalColumns.h"
#include "SignalDisplay.h"

namespace {

constexpr int kBottom = columns::kHeight;  // value v lies at row 512 - 2v
constexpr TColor32 kWhite = columns::kPeakBar;
constexpr TColor32 kBlue = columns::kCalibBar;

void DrawBar(TBitmap32& bitmap, int left, std::uint32_t v, TColor32 barColor, TColor32 textColor) {
    // Values above 200 never arrive; a larger one only reaches further up, clipped at the top.
    const int top = int(std::max<std::int64_t>(kBottom - 2 * std::int64_t(v), -kBottom));
    bitmap.Clear(0x00000000);
    bitmap.FillRect(left, top, left + columns::kBarWidth, kBottom, barColor);
    bitmap.RenderText(left, top - 15, std::to_string(v), 0, textColor);
}

}  // namespace

void ShowMaxBars(TSignalDisplayElements& e, const std::uint32_t* values, int count) {
    for (int i = 0; i < count && i < int(e.SenMaxLayer.size()); ++i) {
        DrawBar(e.SenMaxLayer[i]->Bitmap(), columns::kPeakBarLeft, values[i], kWhite, kWhite);
    }
}

void ShowCalibBars(TSignalDisplayElements& e, const std::uint32_t* values, int count,
                   const std::uint32_t* maxValues) {
    for (int i = 0; i < count && i < int(e.SenCalibLayer.size()); ++i) {
        const std::uint32_t v = values[i];
        DrawBar(e.SenCalibLayer[i]->Bitmap(), columns::kCalibBarLeft, v,
                maxValues[i] == v ? kWhite : kBlue, kBlue);
    }
}
