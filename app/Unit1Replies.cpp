// Applying device replies: what each reply shows, the test chain it carries on, and the sensor
// frame display.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "Controls.h"
#include "HostCommands.h"
#include "Palette.h"
#include "Replies.h"
#include "ReplyMath.h"
#include "TestPlan.h"
#include "Unit1.h"
#include "Waveactive.h"

using namespace mv62;

namespace {

QColor PassColor(bool pass) {
    return pass ? colours::Green : colours::Red;
}

// The test chain, once a function-test reply has been shown: after the wait, the next test's
// caption turns blue, the window may repaint (pump), and the next command goes out unless the
// SingleTest flag of the test just shown holds it back. The motor stage (every third motor reply)
// and the end of a sensor run are routines of their own below; lamp step 3 ends the chain.
struct TChainStep {
    std::uint8_t reply;
    int waitMs;
    QLabel* TForm1::*nextCaption;
    bool pump;
    bool TSingleTestFlags::*heldBackBy;
    std::uint8_t nextCommand;
};

using F = TForm1;
using S = TSingleTestFlags;
// clang-format off
constexpr TChainStep kTestChain[] = {
    // reply shown       wait  caption turned blue          pump   held back by  next command
    {reply::PulseResult,  0,    &F::Label15, /* FISH_SEN   */ true,  &S::Pulse,    cmd::FishTest},
    {reply::FishResult,   500,  &F::Label19, /* EEPROM     */ true,  &S::Fish,     cmd::EepromTest},
    {reply::EepromResult, 0,    &F::Label21, /* I/O        */ false, &S::Eeprom,   cmd::IoTest},
    {reply::IoResult,     1000, &F::Label25, /* SW1        */ true,  &S::Io,       cmd::ReadSw1},
    {reply::Sw1Positions, 0,    &F::Label26, /* SW2        */ false, &S::Sw1,      cmd::ReadSw2},
    {reply::Sw2Positions, 0,    &F::Label24, /* PILOT LAMP */ true,  &S::Sw2,      cmd::LampTest},
};
// clang-format on

}  // namespace

void TForm1::ApplyReply(const FrameReading& r, bool& sensorFrame) {
    switch (r.code) {
        case reply::Identification:
            ShowIdentification(r);
            break;
        case reply::SensorFrame:  // shown at the end of the receive event
            sensorFrame = true;
            break;
        case reply::LastSensorFrame:
            sensorFrame = true;
            SensorRunEnded = true;
            break;
        case reply::MotorRate:
            ShowMotorRate(r);
            ContinueMotorStage();
            break;
        case reply::PulseResult:
            ShowPulseResult(r);
            break;
        case reply::FishResult:
            ShowResult(Shape8, r);
            break;
        case reply::EepromResult:
            ShowResult(Shape9, r);
            break;
        case reply::IoResult:
            ShowResult(Shape10, r);
            break;
        case reply::Sw1Positions:
            ShowSwitchPositions(Sw1Digit, *r.Find(Quantity::Sw1));
            break;
        case reply::Sw2Positions:
            ShowSwitchPositions(Sw2Digit, *r.Find(Quantity::Sw2));
            break;
        case reply::LampStep:
            ShowLampStep(r);
            break;
        case reply::FishState:
        case reply::HookSensor:
        case reply::InSensor:
        case reply::SensorReadings:
            ShowMaintenanceReport(r);
            break;
        case reply::Acknowledge:
            Label42->setText("ok");
            break;
        case reply::ExchangeSensors:
            ShowExchangeSensors(r);
            break;
        case reply::OffsetAndLens:
            ShowOffsetAndLens(r);
            break;
        default:
            return;  // codes without a handler are stored but never applied
    }
    ContinueChain(r.code);
}

void TForm1::ContinueChain(std::uint8_t replyCode) {
    for (const TChainStep& step : kTestChain) {
        if (step.reply != replyCode) {
            continue;
        }
        if (step.waitMs > 0) {
            Wait(step.waitMs);
        }
        SetFontColor(this->*step.nextCaption, colours::Blue);
        if (step.pump) {
            Pump();
        }
        if (!(SingleTest.*step.heldBackBy)) {
            SendCommand(step.nextCommand);
        }
        return;
    }
}

void TForm1::ShowIdentification(const FrameReading& r) {
    setWindowTitle(CaptionText + " - " + QString::fromLatin1(*r.identification));
}

void TForm1::ShowMotorRate(const FrameReading& r) {
    const Reading& rpm = *r.Find(Quantity::MotorRpm);
    const Reading& count = *r.Find(Quantity::MotorEncoder);
    Label10->setText(QString::fromLatin1(rpm.shown));
    Shape4->SetBrushColor(PassColor(rpm.Passed()));
    Pump();
    SetFontColor(Label11, colours::Blue);
    Label12->setText(QString::fromLatin1(count.shown));
    Pump();
    Shape5->SetBrushColor(PassColor(count.Passed()));
    Pump();
}

// The third motor reply ends the motor stage: a second later the lone stop byte stops the motor
// and the pulse test starts, unless the motor test was a single test (then nothing is sent) or
// MOTOR STOP was clicked meanwhile (then the pulse test is not sent).
void TForm1::ContinueMotorStage() {
    if (++MotorReplyCount < 3) {
        return;
    }
    MotorReplyCount = 0;
    Wait(1000);
    if (SingleTest.Motor) {
        return;
    }
    BtnExit->setEnabled(true);
    SendBytes({kLoneStopByte});
    SetFontColor(Label17, colours::Blue);  // "Pulse"
    Pump();
    if (!SingleTest.MotorStop) {
        SendCommand(cmd::PulseTest);
    }
    Pump();
}

void TForm1::ShowPulseResult(const FrameReading& r) {
    const Reading& pulse = *r.Find(Quantity::Pulse);
    Label18->setText(QString::fromLatin1(pulse.shown));
    Shape6->SetBrushColor(PassColor(pulse.Passed()));
}

void TForm1::ShowResult(TShape* indicator, const FrameReading& r) {
    indicator->SetBrushColor(PassColor(r.readings.front().Passed()));
}

void TForm1::ShowSwitchPositions(std::span<QLabel* const> digits, const Reading& on) {
    for (int position = 1; position <= static_cast<int>(digits.size()); ++position) {
        const bool isOn = std::ranges::find(on.values, position) != on.values.end();
        SetBackgroundColor(digits[position - 1], isOn ? colours::Black : colours::Red);
    }
}

// Steps 0, 1 and 2 light all three lamps blue, red and green in turn; step 3 shows the three
// colours side by side and ends the test chain.
void TForm1::ShowLampStep(const FrameReading& r) {
    const int step = *r.step;
    if (step > kLastLampStep) {
        return;
    }
    const std::array<QColor, 3> stepColours = {colours::Blue, colours::Red, colours::Green};
    const std::array<TShape*, 3> lamps = {Shape7, Shape11, Shape12};
    for (std::size_t i = 0; i < lamps.size(); ++i) {
        lamps[i]->SetBrushColor(
            step == kLastLampStep ? stepColours[i] : stepColours[static_cast<std::size_t>(step)]);
    }
    Pump();
    if (step == kLastLampStep) {
        ApplyEnabled(ChainEnded);
    }
}

// The maintenance panel's reports; a state outside the known ones leaves its label as it was.
void TForm1::ShowMaintenanceReport(const FrameReading& r) {
    switch (r.code) {
        case reply::FishState:
            if (r.shown) {
                Label20->setText(QString::fromLatin1(*r.shown));
            }
            break;
        case reply::HookSensor:
        case reply::InSensor:
            if (*r.state <= 1) {
                (r.code == reply::HookSensor ? Label27 : Label29)
                    ->setText(QString::number(*r.state));
            }
            break;
        case reply::SensorReadings: {
            const std::array<QLabel*, 6> labels = {Label33, Label34, Label35,
                                                   Label36, Label37, Label38};
            for (std::size_t i = 0; i < labels.size(); ++i) {
                labels[i]->setText(QString::number((*r.sensorReadings)[i]));
            }
            break;
        }
        default:
            break;
    }
}

// The six exchange sensors. Label47 names the highest-numbered flagged sensor and keeps its text
// when none is.
void TForm1::ShowExchangeSensors(const FrameReading& r) {
    const std::array<QLabel*, 6> labels = ExchangeSensorLabels();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i]->setText(QString::fromLatin1(r.Find(Quantity::Exchange, int(i))->shown));
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const int sensor = static_cast<int>(i) + 1;
        if (std::ranges::find(*r.flagged, sensor) == r.flagged->end()) {
            SetFontColor(labels[i], WindowTextColor());
        } else {
            SetFontColor(labels[i], colours::Red);
            Label47->setText(QString("exchange sensor %1").arg(sensor));
        }
    }
}

void TForm1::ShowOffsetAndLens(const FrameReading& r) {
    SensorOffset = *r.sensorOffset;
    Label48->setText(QString::number(SensorOffset));
    Label50->setText(QString::fromLatin1(r.Find(Quantity::LensCount)->shown));
}

void TForm1::ShowSensorFrame(const FrameReading& r) {
    const Reading& corrected = *r.Find(Quantity::OpticsCorrected);
    const Reading& peak = *r.Find(Quantity::OpticsPeak);
    for (int i = 0; i < kChannels; ++i) {
        CalibValues[i] = static_cast<std::uint32_t>(corrected.values[i]);
        if (corrected.Judged()) {
            CalibLamp[i]->SetBrushColor(PassColor(corrected.passed[i]));
        }
    }
    ShowCalibBars(*this, CalibValues.data(), kChannels, MaxValues.data());
    Label7->setText(QString::number(r.sensorBytes9And10[0]));
    Label8->setText(QString::number(r.sensorBytes9And10[1]));

    const std::vector<int>& drive = r.Find(Quantity::Drive)->values;
    auto& driveRow = FirstDriveReport ? DriveRefLabel : DriveLabel;
    for (int l = 0; l < kDriveChannels; ++l) {
        SetCaption(driveRow[l], QString::number(drive[l]));
    }
    FirstDriveReport = false;

    for (int i = 0; i < kChannels; ++i) {
        if (peak.Judged()) {
            MaxLamp[i]->SetBrushColor(PassColor(peak.passed[i]));
        }
        MaxValues[i] = LimitToDisplay(static_cast<std::uint32_t>(peak.values[i]));
    }
    ShowMaxBars(*this, MaxValues.data(), kChannels);

    if (!SensorRunEnded) {
        return;
    }
    SendCommand(cmd::Stop);
    if (CalibMode) {
        EndCalibrationRun();
    } else {
        StartTestChain();
    }
}

// The device's last sensor frame in the calibration view: the window returns to ready.
void TForm1::EndCalibrationRun() {
    BtnCalibStar->setEnabled(true);
    SetLinkLamps(colours::Yellow);
    ApplyEnabled(CalibrationRunEnded);
}

// The end of the automatic test's sensor stage: after three seconds the motor test starts the
// test chain.
void TForm1::StartTestChain() {
    SetLinkLamps(colours::Yellow);
    Wait(3000);
    BtnCalibEnd->setEnabled(false);
    SetFontColor(Label6, colours::Blue);  // "Motor RPM"
    Pump();
    SendCommand(cmd::MotorTest);
    Pump();
}
