// The raster canvas: composing one signal column, the blend rule, and the numbers on the bars.
#include <benchmark/benchmark.h>

#include <QFrame>
#include <QWidget>
#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Image32.h"
#include "SignalDisplay.h"
#include "Waveactive.h"

namespace {

constexpr int kColumnWidth = 50;
constexpr int kColumnHeight = 512;
constexpr std::int64_t kColumnPixels = std::int64_t(kColumnWidth) * kColumnHeight;

// The six signal columns as the window builds them, with bars drawn in every layer that has
// them: background, peak layer, corrected-value layer, spare layer and grid layer.
struct SignalColumns {
    QWidget form;
    QFrame* panel1 = new QFrame(&form);  // owned by the form
    QFrame* panel2 = new QFrame(&form);
    TSignalDisplayElements e;

    SignalColumns() {
        form.resize(1050, 707);
        panel1->setGeometry(8, 40, 400, 520);
        panel2->setGeometry(420, 40, 400, 400);
        BuildSignalDisplay(e, &form, panel1, panel2);
        const std::array<std::uint32_t, 6> peaks = {150, 171, 133, 199, 142, 160};
        const std::array<std::uint32_t, 6> calib = {21, 48, 150, 22, 25, 18};
        ShowCalibBars(e, calib.data(), 6, peaks.data());
        ShowMaxBars(e, peaks.data(), 6);
    }
};

void BM_ComposeColumn(benchmark::State& state) {
    SignalColumns columns;
    TImage32& image = *columns.e.SenImage[2];  // a column whose two bars are both drawn
    for (auto _ : state) {
        const TBitmap32& buffer = image.ComposeBuffer();
        benchmark::DoNotOptimize(buffer.Bits());
    }
    if (image.ComposeBuffer().Width() != kColumnWidth) {
        state.SkipWithError("column has not the designed size");
    }
    state.SetItemsProcessed(state.iterations() * kColumnPixels);
}
BENCHMARK(BM_ComposeColumn)->Unit(benchmark::kMicrosecond);

// One 50 x 512 layer drawn onto an opaque buffer by its draw mode. Arg 0: every pixel partly
// transparent (the blend arithmetic everywhere); 1: a bar layer as the window draws it (mostly
// transparent, an opaque bar and number); 2: the same layer copied opaque.
void BM_LayerDrawTo(benchmark::State& state) {
    TBitmap32 layer;
    layer.SetSize(kColumnWidth, kColumnHeight);
    layer.SetDrawMode(dmBlend);
    switch (state.range(0)) {
        case 0:
            layer.Clear(0x6600FF00);
            state.SetLabel("all pixels alpha 0x66");
            break;
        case 1:
            layer.FillRect(14, 212, 26, 512, 0xFFFFFFFF);
            layer.RenderText(14, 197, "150", 0, 0xFFFFFFFF);
            state.SetLabel("bar layer, blend");
            break;
        default:
            layer.FillRect(14, 212, 26, 512, 0xFFFFFFFF);
            layer.RenderText(14, 197, "150", 0, 0xFFFFFFFF);
            layer.SetDrawMode(dmOpaque);
            state.SetLabel("bar layer, opaque copy");
            break;
    }
    TBitmap32 buffer;
    buffer.SetSize(kColumnWidth, kColumnHeight);
    buffer.Clear(0xFF000000);
    for (auto _ : state) {
        layer.DrawTo(buffer, 0, 0);
        benchmark::DoNotOptimize(buffer.Bits());
    }
    state.SetItemsProcessed(state.iterations() * kColumnPixels);
}
BENCHMARK(BM_LayerDrawTo)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The blend rule alone over one layer's worth of pixel pairs with mixed source alphas.
void BM_BlendPixel(benchmark::State& state) {
    std::mt19937 rng(7);
    std::vector<TColor32> src(kColumnPixels);
    std::vector<TColor32> dst(kColumnPixels);
    constexpr std::array<TColor32, 4> kAlphas = {0x00, 0xFF, 0x66, 0x80};
    for (std::size_t i = 0; i < src.size(); ++i) {
        src[i] = (kAlphas[rng() % 4] << 24) | (rng() & 0xFFFFFF);
        dst[i] = rng();
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < src.size(); ++i) {
            dst[i] = BlendPixel(src[i], dst[i]);
        }
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * kColumnPixels);
}
BENCHMARK(BM_BlendPixel)->Unit(benchmark::kMicrosecond);

// A bar's number: three digits rendered onto a 50 x 512 layer.
void BM_RenderText(benchmark::State& state) {
    TBitmap32 layer;
    layer.SetSize(kColumnWidth, kColumnHeight);
    layer.SetDrawMode(dmBlend);
    std::vector<std::string> numbers;
    for (int v = 100; v <= 199; ++v) {
        numbers.push_back(std::to_string(v));
    }
    std::size_t n = 0;
    for (auto _ : state) {
        layer.RenderText(27, 297, numbers[n], 0, 0xFF2B85FF);
        n = (n + 1) % numbers.size();
        benchmark::DoNotOptimize(layer.Bits());
    }
    if (std::none_of(layer.Bits(), layer.Bits() + kColumnPixels,
                     [](TColor32 p) { return p != 0; })) {
        state.SkipWithError("RenderText drew no pixel");
    }
}
BENCHMARK(BM_RenderText)->Unit(benchmark::kMicrosecond);

// Both bar routines over the six columns: what a sensor frame draws.
void BM_ShowBars(benchmark::State& state) {
    SignalColumns columns;
    std::array<std::uint32_t, 6> peaks = {150, 171, 133, 199, 142, 160};
    std::array<std::uint32_t, 6> calib = {21, 48, 150, 22, 25, 18};
    std::uint32_t step = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < 6; ++i) {
            calib[i] = (calib[i] + 1 + step) % 60;
            peaks[i] = 100 + (peaks[i] + 3 + step) % 100;
        }
        ShowCalibBars(columns.e, calib.data(), 6, peaks.data());
        ShowMaxBars(columns.e, peaks.data(), 6);
        ++step;
    }
}
BENCHMARK(BM_ShowBars)->Unit(benchmark::kMicrosecond);

}  // namespace
