// Applying device replies: the status panel, the test chain and the sensor frame display.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "Controls.h"
#include "HostCommands.h"
#include "ReplyMath.h"
#include "Unit1.h"
#include "Waveactive.h"

using namespace mv62;

namespace {

QColor PassColor(bool pass) {
    return pass ? QColor(0, 255, 0) : QColor(255, 0, 0);
}

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kYellow(255, 255, 0);
const QColor kBlack(0, 0, 0);

}  // namespace

void TForm1::ApplyReply(const DeviceFrame& f, bool& sensorFrame) {
    switch (f.code()) {
        case 0x00: {
            // The identification is shown up to its first zero byte.
            int end = 3;
            while (end < f.length && f[end] != 0) {
                ++end;
            }
            const auto* text = reinterpret_cast<const char*>(f.bytes.data() + 3);
            setWindowTitle(CaptionText + " - " + QString::fromLatin1(text, end - 3));
            break;
        }
        case 0x02:
            sensorFrame = true;
            break;
        case 0x26:
            sensorFrame = true;
            SensorRunEnded = true;
            break;
        case 0x03: {
            const int count = f[3] * 256 + f[4];
            const int rpm = MotorRpm(count);
            Label10->setText(QString::number(rpm) + " rpm");
            Shape4->SetBrushColor(PassColor(MotorSpeedPasses(rpm, CheckBox4->isChecked())));
            Pump();
            SetFontColor(Label11, kBlue);
            Label12->setText(QString::number(count) + " gap/sec");
            Pump();
            Shape5->SetBrushColor(PassColor(EncoderPasses(count)));
            Pump();
            if (++MotorReplyCount < 3) {
                break;
            }
            MotorReplyCount = 0;
            Wait(1000);
            if (SingleTest.Motor) {
                break;
            }
            BtnExit->setEnabled(true);
            SendBytes({kLoneStopByte});
            SetFontColor(Label17, kBlue);
            Pump();
            if (!SingleTest.MotorStop) {
                SendCommand(cmd::PulseTest);
            }
            Pump();
            break;
        }
        case 0x04:
            if (f[3] == 0x10) {
                Label18->setText("10");
                Shape6->SetBrushColor(kGreen);
            } else {
                Label18->setText("ERROR");
                Shape6->SetBrushColor(kRed);
            }
            SetFontColor(Label15, kBlue);
            Pump();
            if (!SingleTest.Pulse) {
                SendCommand(cmd::FishTest);
            }
            break;
        case 0x08:
            Shape8->SetBrushColor(PassColor(f[3] == 1));
            Wait(500);
            SetFontColor(Label19, kBlue);
            Pump();
            if (!SingleTest.Fish) {
                SendCommand(cmd::EepromTest);
            }
            break;
        case 0x09:
            Shape9->SetBrushColor(PassColor(f[3] == 1));
            SetFontColor(Label21, kBlue);
            if (!SingleTest.Eeprom) {
                SendCommand(cmd::IoTest);
            }
            break;
        case 0x10:
            Shape10->SetBrushColor(PassColor(f[3] == 1));
            Wait(1000);
            SetFontColor(Label25, kBlue);
            Pump();
            if (!SingleTest.Io) {
                SendCommand(cmd::ReadSw1);
            }
            break;
        case 0x06:
            for (int position = 1; position <= 10; ++position) {
                SetBackgroundColor(Sw1Digit[position - 1],
                                   Sw1PositionOn(f[3], f[4], position) ? kBlack : kRed);
            }
            SetFontColor(Label26, kBlue);
            if (!SingleTest.Sw1) {
                SendCommand(cmd::ReadSw2);
            }
            break;
        case 0x07:
            for (int position = 1; position <= 4; ++position) {
                SetBackgroundColor(Sw2Digit[position - 1],
                                   Sw2PositionOn(f[3], position) ? kBlack : kRed);
            }
            SetFontColor(Label24, kBlue);
            Pump();
            if (!SingleTest.Sw2) {
                SendCommand(cmd::LampTest);
            }
            break;
        case 0x05:
            switch (f[3]) {
                case 0:
                case 1:
                case 2: {
                    const QColor c = f[3] == 0 ? kBlue : f[3] == 1 ? kRed : kGreen;
                    for (TShape* s : {Shape7, Shape11, Shape12}) {
                        s->SetBrushColor(c);
                    }
                    Pump();
                    break;
                }
                case 3:
                    Shape7->SetBrushColor(kBlue);
                    Shape11->SetBrushColor(kRed);
                    Shape12->SetBrushColor(kGreen);
                    Pump();
                    // The test chain is over.
                    Button7->setEnabled(true);
                    Button8->setEnabled(true);
                    BtnCalibStar->setEnabled(true);
                    Button18->setEnabled(true);
                    Button19->setEnabled(false);
                    Panel3->setEnabled(false);
                    break;
                default:
                    break;
            }
            break;
        case 0x20:
            if (f[3] == 1) {
                Label20->setText("Normal");
            } else if (f[3] == 2) {
                Label20->setText("Fished");
            } else if (f[3] == 3) {
                Label20->setText("Open_Cover");
            }
            break;
        case 0x21:
            if (f[3] <= 1) {
                Label27->setText(QString::number(f[3]));
            }
            break;
        case 0x22:
            if (f[3] <= 1) {
                Label29->setText(QString::number(f[3]));
            }
            break;
        case 0x23: {
            const std::array<QLabel*, 6> labels = {Label33, Label34, Label35,
                                                   Label36, Label37, Label38};
            for (int i = 0; i < 6; ++i) {
                labels[i]->setText(QString::number(f[3 + i]));
            }
            break;
        }
        case 0x24:
            Label42->setText("ok");
            break;
        case 0x25: {
            const std::array<QLabel*, 6> labels = {Label40, Label41, Label43,
                                                   Label44, Label45, Label46};
            for (int i = 0; i < 6; ++i) {
                labels[i]->setText(QString::number(f[3 + i]));
            }
            for (int i = 0; i < 6; ++i) {
                if (f[3 + i] == 0xFF) {
                    SetFontColor(labels[i], WindowTextColor());
                } else {
                    SetFontColor(labels[i], kRed);
                    Label47->setText(QString("exchange sensor %1").arg(i + 1));
                }
            }
            break;
        }
        case 0x27:
            SensorOffset = SensorOffsetFromByte(f[3]);
            Label48->setText(QString::number(SensorOffset));
            Label50->setText(QString::number(f[4] * 256 + f[5]));
            break;
        default:
            break;  // codes without a handler are stored but never applied
    }
}

void TForm1::ShowSensorFrame(const DeviceFrame& f) {
    const bool judge = !CalibMode;
    for (int i = 0; i < kChannels; ++i) {
        CalibValues[i] = CorrectedSensorValue(i, f[3 + i], SensorOffset);
        if (judge) {
            CalibLamp[i]->SetBrushColor(PassColor(CalibValuePasses(i, CalibValues[i])));
        }
    }
    ShowCalibBars(*this, CalibValues.data(), kChannels, MaxValues.data());
    Label7->setText(QString::number(f[9]));
    Label8->setText(QString::number(f[10]));

    auto& driveRow = FirstDriveReport ? DriveRefLabel : DriveLabel;
    for (int l = 0; l < 8; ++l) {
        SetCaption(driveRow[l], QString::number(f[11 + 2 * l] * 256 + f[12 + 2 * l]));
    }
    FirstDriveReport = false;

    for (int i = 0; i < kChannels; ++i) {
        const int peak = f[27 + i];
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
        BtnCalibStar->setEnabled(true);
        for (TShape* s : {Shape1, Shape2, Shape3}) {
            s->SetBrushColor(kYellow);
        }
        Button7->setEnabled(true);
        Button18->setEnabled(true);
        Button19->setEnabled(false);
        Panel3->setEnabled(false);
        BtnCalibEnd->setEnabled(false);
    } else {
        for (TShape* s : {Shape1, Shape2, Shape3}) {
            s->SetBrushColor(kYellow);
        }
        Wait(3000);
        BtnCalibEnd->setEnabled(false);
        SetFontColor(Label6, kBlue);
        Pump();
        SendCommand(cmd::MotorTest);
        Pump();
    }
}
