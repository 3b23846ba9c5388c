// Reply handling, the test chain and the sensor frame display on a virtual clock.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <random>

#include "Canvas.h"
#include "Controls.h"
#include "Countrycode.h"
#include "Image32.h"
#include "StationHarness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kBlack(0, 0, 0),
    kWhite(255, 255, 255), kYellow(255, 255, 0);

Bytes Values(const std::vector<SentByte>& sent) {
    Bytes out;
    for (const SentByte& s : sent) {
        out.push_back(s.value);
    }
    return out;
}

Bytes MotorReply(int count) {
    return DeviceFrameBytes(0x03, {std::uint8_t(count >> 8), std::uint8_t(count & 0xFF)});
}

class Replies : public ::testing::Test {
  protected:
    void SetUp() override {
        h.StartLink();
        h.TakeSent();
    }
    StationHarness h;
    TForm1& f = h.form();
};

TEST_F(Replies, MotorReplyShowsSpeedAndEncoderAgainstTheirLimits) {
    struct Case {
        int count;
        bool cashBox;
        const char* rpm;
        QColor speed;
        QColor encoder;
    };
    const Case cases[] = {
        {800, false, "4320 rpm", kGreen, kGreen}, {400, false, "2160 rpm", kRed, kRed},
        {923, false, "4980 rpm", kGreen, kRed},   {924, false, "5040 rpm", kRed, kRed},
        {649, false, "3540 rpm", kGreen, kGreen}, {648, false, "3480 rpm", kRed, kGreen},
        {572, true, "3120 rpm", kGreen, kGreen},  {571, true, "3060 rpm", kRed, kGreen},
        {550, false, "3000 rpm", kRed, kRed},     {551, false, "3000 rpm", kRed, kGreen},
        {915, false, "4980 rpm", kGreen, kGreen}, {916, false, "4980 rpm", kGreen, kRed},
    };
    for (const Case& c : cases) {
        f.CheckBox4->setChecked(c.cashBox);
        h.Receive(MotorReply(c.count));
        EXPECT_EQ(f.Label10->text(), c.rpm) << c.count;
        EXPECT_EQ(f.Label12->text(), QString::number(c.count) + " gap/sec");
        EXPECT_EQ(f.Shape4->BrushColor(), c.speed) << c.count;
        EXPECT_EQ(f.Shape5->BrushColor(), c.encoder) << c.count;
        EXPECT_EQ(FontColor(f.Label11), kBlue);
    }
}

TEST_F(Replies, ThirdMotorReplySendsLoneStopThenPulseTestAfterOneSecond) {
    h.Receive(MotorReply(800));
    h.Receive(MotorReply(800));
    EXPECT_TRUE(h.TakeSent().empty());
    const auto before = h.now();
    h.Receive(MotorReply(800));
    const auto sent = h.TakeSent();
    EXPECT_EQ(Values(sent), (Bytes{0xED, 0x55, 0xAA, 0x08}));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front().atMs - before, 1000);
    EXPECT_EQ(FontColor(f.Label17), kBlue);
    EXPECT_EQ(f.MotorReplyCount, 0);
}

TEST_F(Replies, SingleTestFlagHoldsBackOnlyTheNextReceiveEvent) {
    f.Button11Click();  // PULSE
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x08}));
    h.Receive(DeviceFrameBytes(0x04, {0x10}));
    EXPECT_TRUE(h.TakeSent().empty());  // single test: shown, not continued
    EXPECT_EQ(f.Label18->text(), "10");
    EXPECT_EQ(f.Shape6->BrushColor(), kGreen);

    f.Button11Click();
    h.TakeSent();
    h.Receive({0x00});  // an event without a frame still clears the flags
    h.Receive(DeviceFrameBytes(0x04, {0x00}));
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x11}));
    EXPECT_EQ(f.Label18->text(), "ERROR");
    EXPECT_EQ(f.Shape6->BrushColor(), kRed);

    // The motor test decides at its third reply: replies in separate events continue.
    f.Button9Click();
    h.TakeSent();
    h.Receive(MotorReply(800));
    h.Receive(MotorReply(800));
    h.Receive(MotorReply(800));
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0xED, 0x55, 0xAA, 0x08}));
    // All three in the first event after the click: only the last is applied.
    f.Button9Click();
    h.TakeSent();
    Bytes three;
    for (int i = 0; i < 3; ++i) {
        const Bytes r = MotorReply(800);
        three.insert(three.end(), r.begin(), r.end());
    }
    h.Receive(three);
    EXPECT_EQ(f.MotorReplyCount, 1);
}

TEST_F(Replies, OnlyTheLatestFrameOfAnEventIsApplied) {
    Bytes both = DeviceFrameBytes(0x08, {0x01});
    const Bytes eeprom = DeviceFrameBytes(0x09, {0x00});
    both.insert(both.end(), eeprom.begin(), eeprom.end());
    h.Receive(both);
    EXPECT_EQ(f.Shape8->BrushColor(), kWhite);
    EXPECT_EQ(f.Shape9->BrushColor(), kRed);
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x13}));
}

TEST_F(Replies, StatusRepliesFillTheirLabels) {
    h.Receive(DeviceFrameBytes(0x25, {0xFF, 0xFF, 0x03, 0xFF, 0x07, 0xFF}));
    const QLabel* ex[] = {f.Label40, f.Label41, f.Label43, f.Label44, f.Label45, f.Label46};
    const char* texts[] = {"255", "255", "3", "255", "7", "255"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ex[i]->text(), texts[i]);
        EXPECT_EQ(FontColor(ex[i]), (i == 2 || i == 4) ? kRed : WindowTextColor()) << i;
    }
    EXPECT_EQ(f.Label47->text(), "exchange sensor 5");

    h.Receive(DeviceFrameBytes(0x27, {95, 0x04, 0xD2}));
    EXPECT_EQ(f.Label48->text(), "-5");
    EXPECT_EQ(f.Label50->text(), "1234");
    EXPECT_EQ(f.SensorOffset, -5);

    h.Receive(DeviceFrameBytes(0x06, {0x02, 0x81}));
    for (int p = 1; p <= 10; ++p) {
        const bool on = p == 1 || p == 8 || p == 10;
        EXPECT_EQ(BackgroundColor(f.Sw1Digit[p - 1]), on ? kBlack : kRed) << p;
    }
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x16}));

    h.Receive(DeviceFrameBytes(0x20, {2}));
    EXPECT_EQ(f.Label20->text(), "Fished");
    h.Receive(DeviceFrameBytes(0x20, {9}));
    EXPECT_EQ(f.Label20->text(), "Fished");
    h.Receive(DeviceFrameBytes(0x23, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(f.Label38->text(), "6");
    h.Receive(DeviceFrameBytes(0x24, {0}));
    EXPECT_EQ(f.Label42->text(), "ok");
}

TEST_F(Replies, IdentificationExtendsTheCaptionUntilEndProtocol) {
    Bytes id(23, 0);
    const std::string text = "MV62 V1.07";
    std::copy(text.begin(), text.end(), id.begin());
    h.Receive(DeviceFrameBytes(0x00, id));
    EXPECT_EQ(f.windowTitle(), "MV62 Calibration v2.68c  - MV62 V1.07");
    h.Receive(DeviceFrameBytes(0x00, id));  // rebuilt, not appended
    EXPECT_EQ(f.windowTitle(), "MV62 Calibration v2.68c  - MV62 V1.07");
    f.Button4Click();
    EXPECT_EQ(f.windowTitle(), "MV62 Calibration v2.68c ");
}

TEST_F(Replies, LampStepsAndTheEndOfTheChain) {
    f.Button7->setEnabled(false);
    f.Button8->setEnabled(false);
    h.Receive(DeviceFrameBytes(0x05, {1}));
    EXPECT_EQ(f.Shape11->BrushColor(), kRed);
    EXPECT_FALSE(f.Button7->isEnabled());
    h.Receive(DeviceFrameBytes(0x05, {3}));
    EXPECT_EQ(f.Shape7->BrushColor(), kBlue);
    EXPECT_EQ(f.Shape11->BrushColor(), kRed);
    EXPECT_EQ(f.Shape12->BrushColor(), kGreen);
    EXPECT_TRUE(f.Button7->isEnabled());
    EXPECT_TRUE(f.Button8->isEnabled());
    EXPECT_TRUE(f.BtnCalibStar->isEnabled());
    EXPECT_TRUE(f.Button18->isEnabled());
    EXPECT_FALSE(f.Button19->isEnabled());
}

std::uint32_t LayerPixel(TBitmapLayer* layer, int x, int y) {
    return layer->Bitmap().Pixel(x, y);
}

TEST_F(Replies, SensorFramesAreCorrectedJudgedAndDrawn) {
    f.Button7Click();  // automatic-test view
    h.TakeSent();
    const std::array<std::uint16_t, 8> drive = {100, 200, 300, 400, 500, 600, 700, 1023};

    // Offset 0: 30,60,30,... give 28,52,28,...; only channel 2 is on target. Peak 230 is shown
    // as 200 but judged as 230; 39 on channel 1 fails, 55 on channel 2 passes.
    h.Receive(SensorFrameBytes(0x02, {30, 60, 30, 30, 30, 30}, drive, {39, 55, 230, 40, 40, 40}));
    EXPECT_EQ(f.CalibValues, (std::array<std::uint32_t, 6>{28, 52, 28, 28, 28, 28}));
    EXPECT_EQ(f.CalibLamp[1]->BrushColor(), kGreen);
    EXPECT_EQ(f.CalibLamp[0]->BrushColor(), kRed);
    EXPECT_EQ(f.MaxLamp[0]->BrushColor(), kRed);
    EXPECT_EQ(f.MaxLamp[1]->BrushColor(), kGreen);
    EXPECT_EQ(f.MaxLamp[2]->BrushColor(), kGreen);
    EXPECT_EQ(f.MaxValues[2], 200u);
    // The first frame fills the grey reference row, later ones the blue row.
    EXPECT_EQ(f.DriveRefLabel[7]->text(), "1023");
    EXPECT_EQ(f.DriveLabel[7]->text(), "0");
    h.Receive(SensorFrameBytes(0x02, {30, 60, 30, 30, 30, 30}, drive, {39, 55, 230, 40, 40, 40}));
    EXPECT_EQ(f.DriveLabel[0]->text(), "100");
    EXPECT_EQ(f.DriveRefLabel[0]->text(), "100");

    // A peak bar of 200 spans rows 112..511; the corrected bar of 28 rows 456..511 in blue.
    EXPECT_EQ(LayerPixel(f.SenMaxLayer[2], 14, 112), 0xFFFFFFFFu);
    EXPECT_EQ(LayerPixel(f.SenMaxLayer[2], 25, 511), 0xFFFFFFFFu);
    EXPECT_EQ(LayerPixel(f.SenMaxLayer[2], 14, 111) & 0xFF000000u, 0u);
    EXPECT_EQ(LayerPixel(f.SenCalibLayer[0], 27, 456), 0xFF2B85FFu);
    EXPECT_EQ(LayerPixel(f.SenCalibLayer[0], 27, 455) & 0xFF000000u, 0u);

    struct Case {
        int offset;
        std::array<std::uint8_t, 6> raw;
        std::array<std::uint32_t, 6> corrected;
    };
    const Case cases[] = {
        {-5, {20, 50, 20, 20, 20, 20}, {16, 39, 16, 16, 16, 16}},
        {9, {20, 45, 20, 20, 20, 20}, {20, 44, 20, 20, 20, 20}},
        {-2, {20, 50, 20, 20, 20, 20}, {17, 41, 17, 17, 17, 17}},
        // A raw value below the correction reads 0, never a full-scale 200.
        {0, {1, 2, 250, 20, 20, 20}, {0, 0, 200, 18, 18, 18}},
    };
    for (const Case& c : cases) {
        h.Receive(DeviceFrameBytes(0x27, {std::uint8_t(c.offset + 100), 0, 0}));
        h.Receive(SensorFrameBytes(0x02, c.raw, drive, {40, 55, 40, 40, 40, 40}));
        EXPECT_EQ(f.CalibValues, c.corrected) << c.offset;
    }
    EXPECT_EQ(f.CalibLamp[0]->BrushColor(), kRed);
    EXPECT_EQ(LayerPixel(f.SenCalibLayer[0], 30, 511) & 0xFF000000u, 0u);  // 0: no bar
    EXPECT_TRUE(h.TakeSent().empty());
}

TEST_F(Replies, CalibBarEqualToThePreviousPeakIsWhiteWithABlueNumber) {
    f.Button7Click();
    h.Receive(SensorFrameBytes(0x02, {22, 58, 22, 22, 22, 22}, {}, {20, 70, 70, 70, 70, 70}));
    h.Receive(SensorFrameBytes(0x02, {22, 58, 22, 22, 22, 22}, {}, {20, 70, 70, 70, 70, 70}));
    // Channel 0: corrected 20 equals the previous peak 20.
    EXPECT_EQ(LayerPixel(f.SenCalibLayer[0], 27, 511), 0xFFFFFFFFu);
    EXPECT_EQ(LayerPixel(f.SenCalibLayer[1], 27, 511), 0xFF2B85FFu);
    bool blueText = false;
    for (int y = 457; y < 472; ++y) {
        for (int x = 27; x < 50; ++x) {
            blueText |= LayerPixel(f.SenCalibLayer[0], x, y) == 0xFF2B85FFu;
        }
    }
    EXPECT_TRUE(blueText);
}

TEST_F(Replies, EndOfSensorRunStartsTheChainAndRunsItToTheLampTest) {
    f.Button7Click();
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x02}));
    const std::array<std::uint8_t, 6> raw = {22, 58, 22, 22, 22, 22};
    const std::array<std::uint8_t, 6> peak = {120, 120, 120, 120, 120, 120};
    h.Receive(SensorFrameBytes(0x02, raw, {}, peak));
    EXPECT_TRUE(h.TakeSent().empty());

    const std::int64_t t0 = h.now();
    h.Receive(SensorFrameBytes(0x26, raw, {}, peak));
    auto sent = h.TakeSent();
    ASSERT_EQ(Values(sent), (Bytes{0x55, 0xAA, 0xED, 0x55, 0xAA, 0x07}));
    EXPECT_EQ(sent[0].atMs, t0);
    EXPECT_EQ(sent[3].atMs, t0 + 3000);
    EXPECT_EQ(f.Shape1->BrushColor(), kYellow);
    EXPECT_EQ(FontColor(f.Label6), kBlue);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(f.CalibLamp[i]->BrushColor(), kGreen);
        EXPECT_EQ(f.MaxLamp[i]->BrushColor(), kGreen);
    }

    h.Receive(MotorReply(800));
    h.Receive(MotorReply(800));
    std::int64_t t = h.now();
    h.Receive(MotorReply(800));
    sent = h.TakeSent();
    EXPECT_EQ(Values(sent), (Bytes{0xED, 0x55, 0xAA, 0x08}));
    EXPECT_EQ(sent[0].atMs, t + 1000);

    struct Step {
        Bytes reply;
        Bytes next;
        int pause;
        QLabel* caption;
    };
    const Step steps[] = {
        {DeviceFrameBytes(0x04, {0x10}), {0x55, 0xAA, 0x11}, 0, f.Label15},
        {DeviceFrameBytes(0x08, {1}), {0x55, 0xAA, 0x12}, 500, f.Label19},
        {DeviceFrameBytes(0x09, {1}), {0x55, 0xAA, 0x13}, 0, f.Label21},
        {DeviceFrameBytes(0x10, {1}), {0x55, 0xAA, 0x15}, 1000, f.Label25},
        {DeviceFrameBytes(0x06, {0x03, 0xFF}), {0x55, 0xAA, 0x16}, 0, f.Label26},
        {DeviceFrameBytes(0x07, {0x0F}), {0x55, 0xAA, 0x14}, 0, f.Label24},
    };
    for (const Step& s : steps) {
        t = h.now();
        h.Receive(s.reply);
        sent = h.TakeSent();
        EXPECT_EQ(Values(sent), s.next);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0].atMs, t + s.pause);
        EXPECT_EQ(FontColor(s.caption), kBlue);
    }
    EXPECT_FALSE(f.Button7->isEnabled());
    for (std::uint8_t step = 0; step <= 3; ++step) {
        h.Receive(DeviceFrameBytes(0x05, {step}));
    }
    EXPECT_TRUE(h.TakeSent().empty());
    EXPECT_TRUE(f.Button7->isEnabled());
    EXPECT_TRUE(f.Button8->isEnabled());
    EXPECT_TRUE(f.Label14->isVisibleTo(&f));
    for (TShape* s : {f.Shape4, f.Shape5, f.Shape6, f.Shape8, f.Shape9, f.Shape10}) {
        EXPECT_EQ(s->BrushColor(), kGreen);
    }
}

TEST_F(Replies, WriteInSendsTheMaskOfTheLastOkAndWaits) {
    CountryMask.fill(0);
    CountryMask[0] = 0x80;
    f.Button20Click();
    const Bytes sent = h.TakeSentBytes();
    ASSERT_EQ(sent.size(), 33u);
    EXPECT_EQ(sent[2], 0x51);
    EXPECT_EQ(sent[3], 0x80);
    EXPECT_EQ(h.waits.back(), 200);
    CountryMask.fill(0);
}

}  // namespace

namespace {

// Arbitrary device bytes, full of headers with every reply code, never upset the station: every
// handler runs on whatever data follows, in every view, and the chain's waits stay bounded.
TEST(RandomStreams, NeverBreakTheStation) {
    StationHarness h;
    TForm1& f = h.form();
    h.StartLink();
    std::mt19937 random(20261208);
    for (int event = 0; event < 3000; ++event) {
        if (event == 1000) {
            f.Button7Click();  // automatic-test view
        } else if (event == 2000) {
            f.BtnCalibStarClick();
        }
        std::vector<std::uint8_t> bytes;
        const int n = static_cast<int>(random() % 120);
        for (int i = 0; i < n; ++i) {
            if (random() % 8 == 0) {
                bytes.insert(bytes.end(), {0x55, 0xAA, std::uint8_t(random() % 0x30)});
            } else {
                bytes.push_back(std::uint8_t(random()));
            }
        }
        h.Receive(bytes);
        ASSERT_GE(f.Assembler.FrameIndex, 0);
        ASSERT_LE(f.Assembler.FrameIndex, mv62::kFrameBufferSize);
    }
    for (std::uint32_t v : f.CalibValues) {
        EXPECT_LE(v, 200u);
    }
    EXPECT_TRUE(h.errors.isEmpty());
    // The stream did reach the handlers: replies that wait and replies that send were applied.
    EXPECT_GT(h.waits.size(), 10u);
    EXPECT_GT(h.TakeSent().size(), 100u);
}

}  // namespace
