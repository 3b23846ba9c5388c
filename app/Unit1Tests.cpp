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
#include "Palette.h"
#include "Unit1.h"

using namespace mv62;

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

void TForm1::Button10Click() {
    if (LinkOpen) {
        BtnExit->setEnabled(true);
    }
    RunSingleTest(cmd::Stop, &SingleTest.MotorStop);
}

// ---- Switch repeats

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
        GreySwitchDigits(digits);
    }
}

void TForm1::Button15Click() {
    ToggleSwitchRepeat(Timer1, Button15, Button16, "SW1", Sw1Idle, Sw1Digit);
}

void TForm1::Button16Click() {
    ToggleSwitchRepeat(Timer2, Button16, Button15, "SW2", Sw2Idle, Sw2Digit);
}

void TForm1::SwitchStep(std::span<QLabel* const> digits, std::uint8_t command, bool& singleTest) {
    GreySwitchDigits(digits);
    SendCommand(command);
    singleTest = true;
}

// ---- Automatic test: the click starts the sensor stage; the replies carry the chain on.

bool TForm1::UnitSerialAsked() {
    if (!AskUnitSerial) {
        return true;
    }
    const std::optional<QString> serial = AskUnitSerial();
    if (serial) {
        Observer->UnitSerialGiven(*serial);
    }
    return serial.has_value();
}

void TForm1::Button7Click() {
    if (!LinkOpen) {
        return;
    }
    if (!UnitSerialAsked()) {
        return;
    }
    Observer->AutoTestPressed();
    ClearStatusDisplay();
    if (BarsDrawn) {
        ClearSignalBars();
    } else {
        BarsDrawn = true;
    }
    ApplyEnabled(AutoTestLocks);
    CalibMode = false;
    Label14->show();
    SetFontColor(Label13, colours::Blue);
    Pump();
    SendCommand(cmd::SensorRun);
    ApplyEnabled(SensorStageLocks);
    SensorRunEnded = false;
}

// ---- Maintenance mode

void TForm1::Button18Click() {
    SendCommand(cmd::MaintenanceOn);
    ApplyEnabled(MaintenanceOn);
}

void TForm1::Button19Click() {
    SendCommand(cmd::MaintenanceOff);
    ApplyEnabled(MaintenanceOff);  // 退出 stays disabled
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

void TForm1::SpeedButton10Click() {
    if (ReceiveMode != kRawDumpMode) {
        Observer->RawDumpChanged(true);
    }
    ReceiveMode = kRawDumpMode;
    Button18->setEnabled(false);
    SendCommand(cmd::EepromRead);
    Timer3->stop();
    Timer3->start();  // the 4000 ms run afresh from this click
}

void TForm1::EndRawDump() {
    // An unfinished line is written out as a last, shorter line, so that no byte is lost and
    // the next read-out starts a line of its own.
    if (ReceiveMode == kRawDumpMode && !DumpLine.isEmpty()) {
        Memo1->appendPlainText(DumpLine);
    }
    if (ReceiveMode == kRawDumpMode) {
        DumpLine.clear();
        DumpCount = 0;
        Observer->RawDumpChanged(false);
    }
    ReceiveMode = kFrameReception;
    Button18->setEnabled(true);
}

void TForm1::Timer3Timer() {
    Timer3->stop();
    EndRawDump();
}

void TForm1::Button21Click() {
    Memo1->clear();
    DumpCount = 0;
    DumpLine.clear();
}
