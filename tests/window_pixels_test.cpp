// The window as the technician sees it, event by event: the station repaints only what changed,
// and must show exactly what a window that repaints everything shows. Two windows get the same
// recorded stream of sensor frames, replies and clicks; the reference recomposes every column
// whole and writes every label and lamp; after each event the two windows' pictures, as painted
// into their backing stores, must agree in every pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Controls.h"
#include "Image32.h"
#include "StationHarness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One step of the recording: device bytes for one receive event, or a click.
struct Step {
    std::string what;
    Bytes bytes;
    std::function<void(TForm1&)> click;
};

// A sensor frame near the device's targets, with seeded jitter; now and then a far value: 0, a
// full bar, a raw value that wraps, a peak equal to the corrected value (a white bar).
Bytes SensorFrame(std::mt19937& rng, std::uint8_t code, int n) {
    const auto near = [&](int centre, int spread) {
        return std::uint8_t(
            std::clamp(centre + int(rng() % unsigned(2 * spread + 1)) - spread, 0, 255));
    };
    std::array<std::uint8_t, 6> raw{}, peak{};
    for (int ch = 0; ch < 6; ++ch) {
        raw[ch] = near(ch == 1 ? 58 : 22, 3);
        peak[ch] = near(120, 4);
    }
    switch (n % 11) {
        case 3:
            raw[0] = 0;     // wraps below zero: shown as 200
            peak[5] = 255;  // shown as 200
            break;
        case 5:
            peak[2] = 0;
            raw[4] = 220;
            break;
        case 7:
            peak[1] = 60;  // equal to the corrected value of channel 2 in the frame after
            raw[3] = 150;
            break;
        default:
            break;
    }
    std::array<std::uint16_t, 8> drive{};
    for (int d = 0; d < 8; ++d) {
        drive[d] = std::uint16_t(n % 9 == 4 ? 1000 + (rng() % 9000) : 1800 + d);
    }
    return SensorFrameBytes(code, raw, drive, peak);
}

std::vector<Step> Recording() {
    std::mt19937 rng(16);
    std::vector<Step> steps;
    const auto bytes = [&](std::string what, Bytes b) {
        steps.push_back({std::move(what), std::move(b), nullptr});
    };
    const auto click = [&](std::string what, std::function<void(TForm1&)> c) {
        steps.push_back({std::move(what), {}, std::move(c)});
    };
    const auto frame = DeviceFrameBytes;

    bytes("identification", frame(0x00, {'M', 'V', '6', '2', 0, 0, 0, 0, 0, 0}));
    bytes("sensor offset and lens count", frame(0x27, {103, 0x01, 0x2C}));
    click("CALIBRATION", [](TForm1& f) { f.BtnCalibStarClick(); });
    for (int n = 0; n < 30; ++n) {
        Bytes b = SensorFrame(rng, 0x02, n);
        if (n % 6 == 2) {
            // Two frames in one event: the second one is shown.
            const Bytes second = SensorFrame(rng, 0x02, n + 100);
            b.insert(b.end(), second.begin(), second.end());
        }
        if (n % 5 == 4) {
            bytes("the same frame again", steps.back().bytes);
        }
        bytes("sensor frame " + std::to_string(n), b);
    }
    bytes("end of the calibration run", SensorFrame(rng, 0x26, 31));
    click("Auto Test", [](TForm1& f) { f.Button7Click(); });
    for (int n = 40; n < 80; ++n) {
        const Bytes b = SensorFrame(rng, 0x02, n);
        if (n % 8 == 3) {
            // A frame split over two events: nothing to show after the first half.
            bytes("first half of frame " + std::to_string(n), Bytes(b.begin(), b.begin() + 17));
            bytes("second half of frame " + std::to_string(n), Bytes(b.begin() + 17, b.end()));
        } else {
            bytes("sensor frame " + std::to_string(n), b);
        }
    }
    bytes("end of the sensor run", SensorFrame(rng, 0x26, 80));
    for (int i = 0; i < 3; ++i) {
        bytes("motor", frame(0x03, {0x03, std::uint8_t(0x20 + 40 * i)}));
    }
    bytes("pulse", frame(0x04, {0x10}));
    bytes("fish", frame(0x08, {0}));
    bytes("EEPROM", frame(0x09, {1}));
    bytes("I/O", frame(0x10, {1}));
    bytes("SW1", frame(0x06, {0x02, 0x81}));
    bytes("SW2", frame(0x07, {0x05}));
    for (std::uint8_t step = 0; step < 4; ++step) {
        bytes("pilot lamp", frame(0x05, {step}));
    }
    bytes("exchange sensors", frame(0x25, {0xFF, 12, 0xFF, 0xFF, 200, 0xFF}));
    bytes("maintenance readings", frame(0x23, {1, 22, 133, 4, 55, 255}));
    click("Clear", [](TForm1& f) { f.Button8Click(); });
    click("CALIBRATION again", [](TForm1& f) { f.BtnCalibStarClick(); });
    for (int n = 90; n < 110; ++n) {
        bytes("sensor frame " + std::to_string(n), SensorFrame(rng, 0x02, n));
    }
    click("exit calibration", [](TForm1& f) { f.BtnCalibEndClick(); });
    return steps;
}

// The picture of a window as painted into its backing store, which is what reaches the screen.
QImage Shown(TForm1& form) {
    // The window looked at is the active one, as for the technician: both draw focus alike.
    QApplication::setActiveWindow(&form);
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::processEvents();  // posted changes, then the repaint they ask for
    }
    return QGuiApplication::primaryScreen()
        ->grabWindow(form.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// "" when equal, else where and how they differ.
std::string Difference(const QImage& usual, const QImage& reference) {
    if (usual.size() != reference.size()) {
        return "sizes differ";
    }
    int count = 0;
    QPoint first;
    for (int y = 0; y < usual.height(); ++y) {
        for (int x = 0; x < usual.width(); ++x) {
            if (usual.pixel(x, y) != reference.pixel(x, y)) {
                if (count++ == 0) {
                    first = QPoint(x, y);
                }
            }
        }
    }
    if (count == 0) {
        return "";
    }
    char text[160];
    std::snprintf(text, sizeof text, "%d pixels differ, the first at %d,%d: %08X instead of %08X",
                  count, first.x(), first.y(), usual.pixel(first), reference.pixel(first));
    return text;
}

}  // namespace

TEST(Pixels, RepaintingWhatChangedShowsWhatRepaintingEverythingShows) {
    StationHarness usual;
    StationHarness reference;
    for (TImage32* image : reference.form().SenImage) {
        image->SetRepaintWhole(true);
    }
    // Each window runs its events in its own way: the reference writes every label and lamp.
    const auto inReference = [](const std::function<void()>& run) {
        SetTouchUnchanged(true);
        run();
        SetTouchUnchanged(false);
    };
    for (StationHarness* h : {&usual, &reference}) {
        h->form().show();
        h->StartLink();
    }
    // Each window once active, so that each has given the focus to its first control.
    Shown(usual.form());
    Shown(reference.form());
    QImage before = Shown(usual.form());
    inReference([&] { ASSERT_EQ(Difference(before, Shown(reference.form())), ""); });

    int changedPictures = 0;
    for (const Step& step : Recording()) {
        const auto apply = [&](StationHarness& h) {
            if (step.click) {
                step.click(h.form());
            } else {
                h.Receive(step.bytes);
            }
        };
        apply(usual);
        const QImage shown = Shown(usual.form());
        QImage expected;
        inReference([&] {
            apply(reference);
            expected = Shown(reference.form());
        });
        ASSERT_EQ(Difference(shown, expected), "") << "after " << step.what;
        changedPictures += shown == before ? 0 : 1;
        before = shown;
    }
    // The recording changes the picture: bars, numbers, lamps and labels.
    EXPECT_GT(changedPictures, 100);
    EXPECT_EQ(usual.TakeSentBytes(), reference.TakeSentBytes());
}
