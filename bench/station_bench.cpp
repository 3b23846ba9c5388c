// One sensor frame through the real main window: bytes on a fake line, one polling tick, the
// assembler, reply handling and the sensor display (correction, lamps, both bar routines, the
// drive labels), up to finished layer bitmaps.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <vector>

#include "BenchStreams.h"
#include "Recorder.h"
#include "Replies.h"
#include "ReplyMath.h"
#include "StationHarness.h"

namespace {

constexpr int kFrames = 64;

std::vector<mv62bench::Bytes> SensorFrames() {
    std::vector<mv62bench::Bytes> frames;
    for (int n = 0; n < kFrames; ++n) {
        frames.push_back(mv62bench::SensorFrame(3, n));
    }
    return frames;
}

// True when the window shows the peaks of `frame` (limited to 200) as its latest values.
bool ShowsPeaksOf(const TForm1& form, const mv62bench::Bytes& frame) {
    const mv62::SensorFrameData data = mv62::DecodeSensorFrame(mv62::ToDeviceFrame(frame));
    for (int i = 0; i < mv62::kChannels; ++i) {
        if (form.MaxValues[std::size_t(i)] != mv62::LimitToDisplay(data.peak[std::size_t(i)])) {
            return false;
        }
    }
    return true;
}

// Arg 0: the automatic-test view (the lamps are judged too); 1: the calibration view.
// Arg 1 of the second dimension: the window is shown and repaints after every event (Qt's
// offscreen platform), so the time includes composing the six columns and painting the window.
void BM_SensorFrame(benchmark::State& state) {
    const bool autoTest = state.range(0) == 0;
    const bool repaint = state.range(1) == 1;
    state.SetLabel(std::string(autoTest ? "auto test view" : "calibration view") +
                   (repaint ? ", with repaint" : ""));
    const std::vector<mv62bench::Bytes> frames = SensorFrames();
    StationHarness h;
    if (repaint) {
        h.form().show();
        QCoreApplication::processEvents();
    }
    h.StartLink();
    if (autoTest) {
        h.form().Button7Click();
    } else {
        h.form().BtnCalibStarClick();
    }
    QCoreApplication::processEvents();
    h.TakeSent();

    std::size_t n = 0;
    for (auto _ : state) {
        h.Receive(frames[n]);
        if (repaint) {
            QCoreApplication::processEvents();
        }
        n = (n + 1) % frames.size();
    }
    const std::size_t last = (n + frames.size() - 1) % frames.size();
    if (state.iterations() > 0 && !ShowsPeaksOf(h.form(), frames[last])) {
        state.SkipWithError("the window does not show the last sensor frame");
    }
    if (!h.TakeSent().empty()) {
        state.SkipWithError("the window sent bytes during the sensor run");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SensorFrame)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"calib", "repaint"})
    ->Unit(benchmark::kMicrosecond);

// One receive event of a sensor stream at 115200 baud: what collects in 100 ms (32 frames back to
// back), of which the window applies the latest. Arg 1: the station records, into a scratch
// folder, so the time includes journaling the block and the applied frame.
void BM_StreamEvent(benchmark::State& state) {
    const bool record = state.range(0) == 1;
    state.SetLabel(record ? "recording" : "not recording");
    const std::vector<mv62bench::Bytes> frames = SensorFrames();
    std::vector<mv62bench::Bytes> events;
    for (int e = 0; e < 8; ++e) {
        mv62bench::Bytes block;
        for (int f = 0; f < 32; ++f) {
            const auto& frame = frames[std::size_t((e * 32 + f) % kFrames)];
            block.insert(block.end(), frame.begin(), frame.end());
        }
        events.push_back(std::move(block));
    }
    QTemporaryDir dir;
    mv62rec::Recorder recorder(dir.path(), {"mv62-bench", "0", "host", "user", "host", {}, {}});
    StationHarness h;
    if (record) {
        h.form().Observer = &recorder;
    }
    h.StartLink();
    h.form().Button7Click();
    QCoreApplication::processEvents();
    h.TakeSent();
    std::size_t n = 0;
    for (auto _ : state) {
        h.Receive(events[n]);
        n = (n + 1) % events.size();
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(events[0].size()));
}
BENCHMARK(BM_StreamEvent)->Arg(0)->Arg(1)->ArgName("record")->Unit(benchmark::kMicrosecond);

// The sensor display alone, on an already assembled and read frame: no serial component, no
// assembler, as the automatic test's view shows it.
void BM_ShowSensorFrame(benchmark::State& state) {
    std::vector<mv62::FrameReading> frames;
    for (const mv62bench::Bytes& bytes : SensorFrames()) {
        frames.push_back(mv62::ReadFrame(mv62::ToDeviceFrame(bytes), {.calibMode = false}));
    }
    StationHarness h;
    h.StartLink();
    h.form().Button7Click();
    QCoreApplication::processEvents();
    std::size_t n = 0;
    for (auto _ : state) {
        h.form().ShowSensorFrame(frames[n]);
        n = (n + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowSensorFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
