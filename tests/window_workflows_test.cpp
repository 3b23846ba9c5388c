// Calibration, function tests, switch repeats, maintenance mode, EEPROM read-out and the
// automatic test, driven through the window's handlers on a virtual clock.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "Canvas.h"
#include "Controls.h"
#include "Image32.h"
#include "StationHarness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const QColor kRed(255, 0, 0), kYellow(255, 255, 0), kGrey(128, 128, 128);

Bytes Cmd(std::uint8_t code) {
    return {0x55, 0xAA, code};
}

bool LayerIsClear(TBitmapLayer* layer) {
    const TBitmap32& b = layer->Bitmap();
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (b.Pixel(x, y) != 0) {
                return false;
            }
        }
    }
    return true;
}

Bytes SensorFrame(std::uint8_t code) {
    return SensorFrameBytes(code, {22, 58, 22, 22, 22, 22}, {}, {120, 120, 120, 120, 120, 120});
}

// A fresh station for each test; Linked() starts its link and forgets the start command.
class Workflows : public ::testing::Test {
  protected:
    void Linked() {
        h.StartLink();
        h.TakeSent();
    }
    StationHarness h;
    TForm1& f = h.form();
};

TEST_F(Workflows, NothingHappensWhileTheLinkIsClosed) {
    for (auto click :
         {&TForm1::Button9Click, &TForm1::Button10Click, &TForm1::Button11Click,
          &TForm1::Button12Click, &TForm1::Button13Click, &TForm1::Button14Click,
          &TForm1::Button15Click, &TForm1::Button16Click, &TForm1::Button17Click,
          &TForm1::Button7Click, &TForm1::BtnCalibStarClick, &TForm1::BtnCalibEndClick}) {
        (f.*click)();
    }
    EXPECT_TRUE(h.TakeSent().empty());
    EXPECT_FALSE(f.SingleTest.Motor || f.SingleTest.MotorStop || f.SingleTest.Pulse);
    EXPECT_FALSE(f.BarsDrawn);
    EXPECT_EQ(f.Button15->text(), "SW1");
    // The write-in and the channel buttons before any serial component: nothing, no failure.
    f.Button20Click();
    f.ChRadioMouseDown(3);
    EXPECT_TRUE(h.TakeSent().empty());
}

TEST_F(Workflows, CalibrationRunsClearBarsFromTheSecondStartOn) {
    Linked();

    f.BtnCalibStarClick();
    EXPECT_TRUE(f.BarsDrawn);
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x02));
    EXPECT_FALSE(f.BtnCalibStar->isEnabled());
    EXPECT_TRUE(f.BtnCalibEnd->isEnabled());
    EXPECT_FALSE(f.Button7->isEnabled());
    EXPECT_EQ(f.Shape1->BrushColor(), kRed);
    EXPECT_EQ(f.Label48->text(), "NULL");

    h.Receive(DeviceFrameBytes(0x25, {1, 2, 3, 4, 5, 6}));
    h.Receive(SensorFrame(0x02));
    EXPECT_FALSE(LayerIsClear(f.SenMaxLayer[0]));
    EXPECT_EQ(f.MaxLamp[0]->BrushColor(), QColor(Qt::white));  // not judged while calibrating

    // The device ends the run: 55 AA ED, lamps yellow, buttons released, bars stay.
    h.Receive(SensorFrame(0x26));
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0xED));
    EXPECT_EQ(f.Shape2->BrushColor(), kYellow);
    EXPECT_TRUE(f.BtnCalibStar->isEnabled());
    EXPECT_FALSE(f.BtnCalibEnd->isEnabled());
    EXPECT_TRUE(f.Button7->isEnabled());
    EXPECT_FALSE(LayerIsClear(f.SenCalibLayer[0]));

    // A second run clears the bars and the exchange labels, and its first frame does not end it.
    f.BtnCalibStarClick();
    h.TakeSent();
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(LayerIsClear(f.SenMaxLayer[i]));
        EXPECT_TRUE(LayerIsClear(f.SenCalibLayer[i]));
        EXPECT_FALSE(LayerIsClear(f.SenGridLayer[i]));
    }
    EXPECT_EQ(f.Label40->text(), "0");
    EXPECT_EQ(FontColor(f.Label43), kRed);
    h.Receive(SensorFrame(0x02));
    EXPECT_TRUE(h.TakeSent().empty());
    EXPECT_FALSE(f.BtnCalibStar->isEnabled());

    // The exit button clears at once, stops the device and empties the lens count.
    h.Receive(DeviceFrameBytes(0x27, {100, 0, 7}));
    f.BtnCalibEndClick();
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0xED));
    EXPECT_TRUE(LayerIsClear(f.SenMaxLayer[3]));
    EXPECT_EQ(f.Label50->text(), "");
    EXPECT_TRUE(f.CalibMode);
    EXPECT_FALSE(f.Button19->isEnabled());
}

TEST_F(Workflows, ChannelButtonSendsTheTrackBarValue) {
    Linked();
    f.SetChBar->setValue(1023);
    EXPECT_EQ(f.Label9->text(), "1023");
    f.ChRadioMouseDown(7);
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x01, 0x09, 0x03, 0xFF}));
    EXPECT_EQ(f.DriveLabel[7]->text(), "1023");
    f.SetChBar->setValue(0);
    f.ChRadioMouseDown(0);
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(f.ChRadio[7]->isVisibleTo(&f));
    EXPECT_FALSE(f.SetChBar->isVisibleTo(&f));
}

TEST_F(Workflows, MotorStopClickedDuringThePauseEndsTheChainAfterTheMotorStage) {
    h.StartLink();
    const Bytes motor = DeviceFrameBytes(0x03, {0x03, 0x20});
    h.Receive(motor);
    h.Receive(motor);
    h.TakeSent();
    h.ClickAt(h.now() + 500, [&] { f.Button10Click(); });
    h.Receive(motor);
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0xED, 0x55, 0xAA, 0xED}));
    EXPECT_TRUE(f.BtnExit->isEnabled());
}

TEST_F(Workflows, SwitchRepeatsPollOncePerSecondAndLockEachOtherOut) {
    Linked();

    f.Button15Click();
    EXPECT_EQ(f.Button15->text(), "SW1-Auto");
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 1000);
    EXPECT_TRUE(h.TakeSent().empty());  // the first read goes out one interval later
    EXPECT_FALSE(f.Button16->isEnabled());
    for (QWidget* w : f.SwitchRepeatLockedControls(f.Button16)) {
        EXPECT_FALSE(w->isEnabled());
    }
    EXPECT_TRUE(f.Button15->isEnabled());

    f.Timer1Timer();  // the tick at 1000 ms
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x15));
    EXPECT_TRUE(f.SingleTest.Sw1);
    h.Receive(DeviceFrameBytes(0x06, {0x03, 0xFF}));
    EXPECT_TRUE(h.TakeSent().empty());  // the poll's reply does not continue to SW2
    EXPECT_EQ(BackgroundColor(f.Sw1Digit[0]), QColor(0, 0, 0));

    f.Button15Click();  // 1.5 s after the first click
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.Button15->text(), "SW1");
    EXPECT_TRUE(f.Sw1Idle);
    for (QLabel* l : f.Sw1Digit) {
        EXPECT_EQ(BackgroundColor(l), kGrey);
    }
    EXPECT_TRUE(f.Button16->isEnabled());
    EXPECT_TRUE(f.Button8->isEnabled());

    f.Button16Click();
    EXPECT_EQ(f.Button16->text(), "SW2-Auto");
    EXPECT_FALSE(f.Button15->isEnabled());
    f.Timer2Timer();
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x16));
    f.Button16Click();
    EXPECT_TRUE(f.Button15->isEnabled());
}

TEST_F(Workflows, MaintenanceModeAndItsManualControls) {
    Linked();
    f.BtnCalibStarClick();
    h.TakeSent();
    ASSERT_TRUE(f.BtnCalibEnd->isEnabled());

    f.Button18Click();
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x30));
    EXPECT_TRUE(f.Panel3->isEnabled());
    EXPECT_TRUE(f.Button19->isEnabled());
    EXPECT_FALSE(f.Button18->isEnabled());
    EXPECT_FALSE(f.SpeedButton10->isEnabled());

    f.SpeedButton1Click();
    f.SpeedButton1Click();
    f.SpeedButton7Click();
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x32, 0x55, 0xAA, 0x32, 0x55, 0xAA, 0x50}));

    f.cb1->setChecked(true);
    f.cb1Click();
    f.cb3->setChecked(true);
    f.cb1Click();
    f.cb1->setChecked(false);
    f.cb1Click();
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x39, 0x55, 0xAA, 0x40, 0x55, 0xAA, 0x36}));
    f.CheckBox1->setChecked(true);
    f.CheckBox1Click();
    f.CheckBox1->setChecked(false);
    f.CheckBox1Click();
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0x55, 0xAA, 0x43, 0x55, 0xAA, 0x44}));

    f.Button19Click();
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x31));
    EXPECT_FALSE(f.BtnCalibEnd->isEnabled());
    EXPECT_FALSE(f.Panel3->isEnabled());
    EXPECT_TRUE(f.Button18->isEnabled());
    EXPECT_TRUE(f.Button7->isEnabled());
}

TEST_F(Workflows, EepromReadOutIsDumpedWithoutLosingOrMixingBytes) {
    Linked();

    f.SpeedButton10Click();
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x54));
    EXPECT_EQ(f.ReceiveMode, 22);
    EXPECT_FALSE(f.Button18->isEnabled());
    EXPECT_TRUE(f.Timer3->isActive());
    EXPECT_EQ(f.Timer3->interval(), 4000);

    Bytes readOut;
    for (int i = 0; i < 40; ++i) {
        readOut.push_back(std::uint8_t(i == 0 ? 0x0A : 0x55));
    }
    h.Receive(Bytes(readOut.begin(), readOut.begin() + 7));
    h.Receive(Bytes(readOut.begin() + 7, readOut.end()));
    QStringList lines = f.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "0A " + QString("55 ").repeated(15));
    EXPECT_EQ(lines[0].size(), 48);
    EXPECT_EQ(f.Assembler.FrameIndex, 0);  // nothing was taken as frames

    // A second click restarts the 4000 ms; the end of the mode writes the last 8 bytes out.
    f.SpeedButton10Click();
    EXPECT_GT(f.Timer3->remainingTime(), 3000);
    f.Timer3Timer();
    EXPECT_EQ(f.ReceiveMode, 0);
    EXPECT_TRUE(f.Button18->isEnabled());
    lines = f.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], QString("55 ").repeated(8));
    EXPECT_TRUE(f.DumpLine.isEmpty());

    // After the read-out, frames are applied again.
    h.Receive(DeviceFrameBytes(0x24, {0}));
    EXPECT_EQ(f.Label42->text(), "ok");

    // "Relax" ends the mode at once; "Clear" empties the memo and the pending line.
    f.SpeedButton10Click();
    h.Receive(Bytes(5, 0x11));
    f.Button21Click();
    EXPECT_TRUE(f.Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(f.DumpLine.isEmpty());
    h.Receive(Bytes(16, 0x22));
    EXPECT_EQ(f.Memo1->toPlainText(), QString("22 ").repeated(16));
    f.Button22Click();
    EXPECT_EQ(f.ReceiveMode, 0);
}

TEST_F(Workflows, AutoTestStartsTheSensorStageAndClearsBarsFromTheSecondRunOn) {
    h.StartLink();
    f.Button8->setEnabled(true);
    h.TakeSent();

    f.Button7Click();
    EXPECT_EQ(h.TakeSentBytes(), Cmd(0x02));
    EXPECT_TRUE(f.BarsDrawn);
    EXPECT_FALSE(f.CalibMode);
    EXPECT_FALSE(f.Button7->isEnabled());
    EXPECT_FALSE(f.Button8->isEnabled());
    EXPECT_FALSE(f.BtnCalibStar->isEnabled());
    EXPECT_TRUE(f.BtnCalibEnd->isEnabled());
    EXPECT_FALSE(f.Button18->isEnabled());
    EXPECT_TRUE(f.Label14->isVisibleTo(&f));
    EXPECT_EQ(FontColor(f.Label13), QColor(0, 0, 255));
    EXPECT_GE(h.pumps, 1);
    // The single test buttons stay usable during the automatic test.
    EXPECT_TRUE(f.Button11->isEnabled());

    h.Receive(SensorFrame(0x02));
    EXPECT_FALSE(LayerIsClear(f.SenMaxLayer[0]));
    f.BtnCalibEndClick();  // leaves the sensor stage
    h.Receive(SensorFrame(0x02));
    h.TakeSent();

    // A motor reply still counted from before: the motor stage continues at its second reply.
    const Bytes motor = DeviceFrameBytes(0x03, {0x03, 0x20});
    h.Receive(motor);
    f.Button7Click();
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(LayerIsClear(f.SenMaxLayer[i]));
        EXPECT_TRUE(LayerIsClear(f.SenCalibLayer[i]));
    }
    h.TakeSent();
    h.Receive(motor);
    h.Receive(motor);
    EXPECT_EQ(h.TakeSentBytes(), (Bytes{0xED, 0x55, 0xAA, 0x08}));
}

}  // namespace
