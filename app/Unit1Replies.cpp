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

void TForm1::ApplyReply(const DeviceFrame& f, bool& sensorFrame) {
    switch (f.code()) {
        case reply::Identification:
            ShowIdentification(f);
            break;
        case reply::SensorFrame:  // shown at the end of the receive event
            sensorFrame = true;
            break;
        case reply::LastSensorFrame:
            sensorFrame = true;
            SensorRunEnded = true;
            break;
        case reply::MotorRate:
            ShowMotorRate(f);
            ContinueMotorStage();
            break;
        case reply::PulseResult:
            ShowPulseResult(f);
            break;
        case reply::FishResult:
            ShowResult(Shape8, f);
            break;
        case reply::EepromResult:
            ShowResult(Shape9, f);
            break;
        case reply::IoResult:
            ShowResult(Shape10, f);
            break;
        case reply::Sw1Positions:
        case reply::Sw2Positions:
            ShowSwitchPositions(f);
            break;
        case reply::LampStep:
            ShowLampStep(f);
            break;
        case reply::FishState:
        case reply::HookSensor:
        case reply::InSensor:
        case reply::SensorReadings:
            ShowMaintenanceReport(f);
            break;
        case reply::Acknowledge:
            Label42->setText("ok");
            break;
        case reply::ExchangeSensors:
            ShowExchangeSensors(f);
            break;
        case reply::OffsetAndLens:
            ShowOffsetAndLens(f);
            break;
        default:
            return;  // codes without a handler are stored but never applied
    }
    ContinueChain(f.code());
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

void TForm1::ShowIdentification(const DeviceFrame& f) {
    const std::string text = IdentificationText(f);
    setWindowTitle(CaptionText + " - " +
                   QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TForm1::ShowMotorRate(const DeviceFrame& f) {
    const int count = EncoderCount(f);
    const int rpm = MotorRpm(count);
    Label10->setText(QString::number(rpm) + " rpm");
    Shape4->SetBrushColor(PassColor(MotorSpeedPasses(rpm, CheckBox4->isChecked())));
    Pump();
    SetFontColor(Label11, colours::Blue);
    Label12->setText(QString::number(count) + " gap/sec");
    Pump();
    Shape5->SetBrushColor(PassColor(EncoderPasses(count)));
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

void TForm1::ShowPulseResult(const DeviceFrame& f) {
    const bool pass = PulsePasses(ResultByte(f));
    Label18->setText(pass ? "10" : "ERROR");
    Shape6->SetBrushColor(PassColor(pass));
}

void TForm1::ShowResult(TShape* indicator, const DeviceFrame& f) {
    indicator->SetBrushColor(PassColor(ResultPasses(ResultByte(f))));
}

void TForm1::ShowSwitchPositions(const DeviceFrame& f) {
    const bool sw1 = f.code() == reply::Sw1Positions;
    const std::span<QLabel* const> digits(sw1 ? Sw1Digit.data() : Sw2Digit.data(),
                                          sw1 ? Sw1Digit.size() : Sw2Digit.size());
    for (int position = 1; position <= static_cast<int>(digits.size()); ++position) {
        const bool on = sw1 ? Sw1PositionOn(f[3], f[4], position) : Sw2PositionOn(f[3], position);
        SetBackgroundColor(digits[position - 1], on ? colours::Black : colours::Red);
    }
}

// Steps 0, 1 and 2 light all three lamps blue, red and green in turn; step 3 shows the three
// colours side by side and ends the test chain.
void TForm1::ShowLampStep(const DeviceFrame& f) {
    const std::uint8_t step = ResultByte(f);
    if (step > kLastLampStep) {
        return;
    }
    const std::array<QColor, 3> stepColours = {colours::Blue, colours::Red, colours::Green};
    const std::array<TShape*, 3> lamps = {Shape7, Shape11, Shape12};
    for (std::size_t i = 0; i < lamps.size(); ++i) {
        lamps[i]->SetBrushColor(step == kLastLampStep ? stepColours[i] : stepColours[step]);
    }
    Pump();
    if (step == kLastLampStep) {
        ApplyEnabled(ChainEnded);
    }
}

// The maintenance panel's reports; a state outside the known ones leaves its label as it was.
void TForm1::ShowMaintenanceReport(const DeviceFrame& f) {
    const std::uint8_t state = ResultByte(f);
    switch (f.code()) {
        case reply::FishState: {
            static const char* const kFishStates[] = {"Normal", "Fished", "Open_Cover"};  // 1..3
            if (state >= 1 && state <= 3) {
                Label20->setText(kFishStates[state - 1]);
            }
            break;
        }
        case reply::HookSensor:
        case reply::InSensor:
            if (state <= 1) {
                (f.code() == reply::HookSensor ? Label27 : Label29)
                    ->setText(QString::number(state));
            }
            break;
        case reply::SensorReadings: {
            const std::array<QLabel*, 6> labels = {Label33, Label34, Label35,
                                                   Label36, Label37, Label38};
            const std::array<std::uint8_t, 6> readings = SixValues(f);
            for (std::size_t i = 0; i < labels.size(); ++i) {
                labels[i]->setText(QString::number(readings[i]));
            }
            break;
        }
        default:
            break;
    }
}

// The six exchange sensors; 0xFF is a sensor not flagged. Label47 names the highest-numbered
// flagged sensor and keeps its text when none is.
void TForm1::ShowExchangeSensors(const DeviceFrame& f) {
    const std::array<QLabel*, 6> labels = ExchangeSensorLabels();
    const std::array<std::uint8_t, 6> values = SixValues(f);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i]->setText(QString::number(values[i]));
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (values[i] == 0xFF) {
            SetFontColor(labels[i], WindowTextColor());
        } else {
            SetFontColor(labels[i], colours::Red);
            Label47->setText(QString("exchange sensor %1").arg(i + 1));
        }
    }
}

void TForm1::ShowOffsetAndLens(const DeviceFrame& f) {
    const OffsetAndLensData d = DecodeOffsetAndLens(f);
    SensorOffset = d.sensorOffset;
    Label48->setText(QString::number(SensorOffset));
    Label50->setText(QString::number(d.lensCount));
}

void TForm1::ShowSensorFrame(const DeviceFrame& frame) {
    const SensorFrameData f = DecodeSensorFrame(frame);
    const bool judge = !CalibMode;
    for (int i = 0; i < kChannels; ++i) {
        CalibValues[i] = CorrectedSensorValue(i, f.raw[i], SensorOffset);
        if (judge) {
            CalibLamp[i]->SetBrushColor(PassColor(CalibValuePasses(i, CalibValues[i])));
        }
    }
    ShowCalibBars(*this, CalibValues.data(), kChannels, MaxValues.data());
    Label7->setText(QString::number(f.byte9));
    Label8->setText(QString::number(f.byte10));

    auto& driveRow = FirstDriveReport ? DriveRefLabel : DriveLabel;
    for (int l = 0; l < kDriveChannels; ++l) {
        SetCaption(driveRow[l], QString::number(f.drive[l]));
    }
    FirstDriveReport = false;

    for (int i = 0; i < kChannels; ++i) {
        const int peak = f.peak[i];
        if (judge) {
            MaxLamp[i]->SetBrushColor(PassColor(PeakPasses(i, peak)));
        }
        MaxValues[i] = LimitToDisplay(static_cast<std::uint32_t>(peak));
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
