// Function tests, the switch repeats, the automatic test and maintenance mode.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "Controls.h"
#include "HostCommands.h"
#include "Unit1.h"

using namespace mv62;

namespace {
const QColor kSwitchGrey(128, 128, 128);
}

// ---- Single function tests: each sends its command, then marks itself a single test so that
// its reply does not continue the test chain.

void TForm1::RunSingleTest(std::uint8_t code, bool* singleTestFlag) {
    if (!LinkOpen) {
        return;
    }
    SendCommand(code);
    if (singleTestFlag != nullptr) {
        *singleTestFlag = true;
    }
}

void TForm1::Button9Click() {
    RunSingleTest(cmd::MotorTest, &SingleTest.Motor);
}

void TForm1::Button10Click() {
    if (LinkOpen) {
        BtnExit->setEnabled(true);
    }
    RunSingleTest(cmd::Stop, &SingleTest.MotorStop);
}

void TForm1::Button11Click() {
    RunSingleTest(cmd::PulseTest, &SingleTest.Pulse);
}
void TForm1::Button12Click() {
    RunSingleTest(cmd::FishTest, &SingleTest.Fish);
}
void TForm1::Button13Click() {
    RunSingleTest(cmd::EepromTest, &SingleTest.Eeprom);
}
void TForm1::Button14Click() {
    RunSingleTest(cmd::IoTest, &SingleTest.Io);
}

// The lamp reply never continues the chain: no flag.
void TForm1::Button17Click() {
    RunSingleTest(cmd::LampTest, nullptr);
}

// ---- Switch repeats

std::array<QWidget*, 12> TForm1::SwitchRepeatLockedControls(QWidget* otherSwitchButton) const {
    return {otherSwitchButton, BtnCalibStar, Button9,  Button10, Button11, Button12,
            Button13,          Button14,     Button17, Button7,  Button8,  Button18};
}

void TForm1::ToggleSwitchRepeat(QTimer* timer, QPushButton* own, QPushButton* other,
                                const QString& caption, bool& idle,
                                std::span<QLabel* const> digits) {
    if (!LinkOpen) {
        return;
    }
    const bool start = idle;
    if (start) {
        timer->start();
        own->setText(caption + "-Auto");
    } else {
        timer->stop();
        own->setText(caption);
    }
    idle = !start;
    // The button that started the repeat stays enabled, so the same button stops it.
    for (QWidget* w : SwitchRepeatLockedControls(other)) {
        w->setEnabled(!start);
    }
    if (!start) {
        for (QLabel* l : digits) {
            SetBackgroundColor(l, kSwitchGrey);
        }
    }
}

void TForm1::Button15Click() {
    ToggleSwitchRepeat(Timer1, Button15, Button16, "SW1", Sw1Idle, Sw1Digit);
}

void TForm1::Button16Click() {
    ToggleSwitchRepeat(Timer2, Button16, Button15, "SW2", Sw2Idle, Sw2Digit);
}

void TForm1::Timer1Timer() {
    for (QLabel* l : Sw1Digit) {
        SetBackgroundColor(l, kSwitchGrey);
    }
    SendCommand(cmd::ReadSw1);
    SingleTest.Sw1 = true;
}

void TForm1::Timer2Timer() {
    for (QLabel* l : Sw2Digit) {
        SetBackgroundColor(l, kSwitchGrey);
    }
    SendCommand(cmd::ReadSw2);
    SingleTest.Sw2 = true;
}

// ---- Automatic test: the click starts the sensor stage; the replies carry the chain on.

void TForm1::Button7Click() {
    if (!LinkOpen) {
        return;
    }
    if (Observer != nullptr) {
        Observer->AutoTestPressed();
    }
    ClearStatusDisplay();
    if (BarsDrawn) {
        ClearSignalBars();
    } else {
        BarsDrawn = true;
    }
    BtnCalibStar->setEnabled(false);
    BtnCalibEnd->setEnabled(false);
    Button7->setEnabled(false);
    Button8->setEnabled(false);
    CalibMode = false;
    Label14->show();
    SetFontColor(Label13, QColor(0, 0, 255));
    Pump();
    SendCommand(cmd::SensorRun);
    Button18->setEnabled(false);
    Button19->setEnabled(false);
    Panel3->setEnabled(false);
    BtnCalibEnd->setEnabled(true);
    SensorRunEnded = false;
}

// ---- Maintenance mode

void TForm1::Button18Click() {
    SendCommand(cmd::MaintenanceOn);
    Button18->setEnabled(false);
    Button19->setEnabled(true);
    Panel3->setEnabled(true);
    BtnCalibStar->setEnabled(false);
    BtnCalibEnd->setEnabled(false);
    Button7->setEnabled(false);
    SpeedButton10->setEnabled(false);
    Button22->setEnabled(false);
}

void TForm1::Button19Click() {
    SendCommand(cmd::MaintenanceOff);
    Button18->setEnabled(true);
    Button19->setEnabled(false);
    Panel3->setEnabled(false);
    BtnCalibStar->setEnabled(true);
    Button7->setEnabled(true);
    SpeedButton10->setEnabled(true);
    Button22->setEnabled(true);
}

void TForm1::SpeedButton1Click() {
    SendCommand(cmd::MotorPlus);
}
void TForm1::SpeedButton2Click() {
    SendCommand(cmd::MotorMinus);
}
void TForm1::SpeedButton3Click() {
    SendCommand(cmd::MotorStop);
}
void TForm1::SpeedButton4Click() {
    SendCommand(cmd::CashMotorPlus);
}
void TForm1::SpeedButton5Click() {
    SendCommand(cmd::CashMotorMinus);
}
void TForm1::SpeedButton6Click() {
    SendCommand(cmd::CashMotorStop);
}
void TForm1::SpeedButton7Click() {
    SendCommand(cmd::HomePosition);
}

void TForm1::cb1Click() {
    SendCommand(LampPatternCode(cb1->isChecked(), cb2->isChecked(), cb3->isChecked()));
}

void TForm1::CheckBox1Click() {
    SendCommand(CheckBox1->isChecked() ? cmd::LedOn : cmd::LedOff);
}

void TForm1::CheckBox2Click() {
    SendCommand(CheckBox2->isChecked() ? cmd::IrOn : cmd::IrOff);
}

// ---- EEPROM and DAC

void TForm1::SpeedButton8Click() {
    SendCommand(cmd::DefaultDac);
}
void TForm1::SpeedButton9Click() {
    SendCommand(cmd::EepromFill);
}

void TForm1::SpeedButton10Click() {
    if (Observer != nullptr && ReceiveMode != 22) {
        Observer->RawDumpChanged(true);
    }
    ReceiveMode = 22;
    Button18->setEnabled(false);
    SendCommand(cmd::EepromRead);
    Timer3->stop();
    Timer3->start();  // the 4000 ms run afresh from this click
}

void TForm1::EndRawDump() {
    // An unfinished line is written out as a last, shorter line, so that no byte is lost and
    // the next read-out starts a line of its own.
    if (ReceiveMode == 22 && !DumpLine.isEmpty()) {
        Memo1->appendPlainText(DumpLine);
    }
    if (ReceiveMode == 22) {
        DumpLine.clear();
        DumpCount = 0;
        if (Observer != nullptr) {
            Observer->RawDumpChanged(false);
        }
    }
    ReceiveMode = 0;
    Button18->setEnabled(true);
}

void TForm1::Timer3Timer() {
    Timer3->stop();
    EndRawDump();
}

void TForm1::Button22Click() {
    EndRawDump();
}

void TForm1::Button21Click() {
    Memo1->clear();
    DumpCount = 0;
    DumpLine.clear();
}
