// The window's enabled states as tables, and the helpers that apply them and paint the link lamps.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "Controls.h"
#include "Palette.h"
#include "Unit1.h"

namespace {
constexpr bool on = true;
constexpr bool off = false;
}  // namespace

void TForm1::BuildStateTables() {
    // The link's table. The test buttons, Clear and Exit are enabled at creation and the link
    // leaves them be.
    // clang-format off
    LinkStates = {
        // control      at creation  after Start Protocol  after End Protocol
        {Button3,       on,          off,                  on},
        {Button4,       off,         on,                   off},
        {BtnCalibStar,  off,         on,                   off},
        {BtnCalibEnd,   off,         off,                  off},
        {Button7,       off,         on,                   off},
        {Button18,      off,         on,                   off},
        {Button19,      off,         off,                  off},
        {Panel3,        off,         off,                  off},
        {Button22,      off,         on,                   off},
        {SpeedButton10, off,         on,                   off},
        {SpeedButton8,  off,         on,                   off},
        {SpeedButton9,  off,         on,                   off},
    };
    // clang-format on
    // CALIBRATION and 退出 as the calibration stage's states show them.
    CalibrationRunning = {{BtnCalibStar, off}, {BtnCalibEnd, on}};
    CalibrationReady = {{BtnCalibStar, on}, {BtnCalibEnd, off}};
    // After the start of a sensor stage (CALIBRATION or Auto Test): 退出 enabled again.
    SensorStageLocks = {{Button18, off}, {Button19, off}, {Panel3, off}, {BtnCalibEnd, on}};
    AutoTestLocks = {{BtnCalibStar, off}, {BtnCalibEnd, off}, {Button7, off}, {Button8, off}};
    // The device's last sensor frame in the calibration view, once CALIBRATION is released and
    // the lamps are yellow.
    CalibrationRunEnded = {
        {Button7, on}, {Button18, on}, {Button19, off}, {Panel3, off}, {BtnCalibEnd, off}};
    ChainEnded = {{Button7, on},  {Button8, on},   {BtnCalibStar, on},
                  {Button18, on}, {Button19, off}, {Panel3, off}};
    MaintenanceOn = {{Button18, off},    {Button19, on}, {Panel3, on},         {BtnCalibStar, off},
                     {BtnCalibEnd, off}, {Button7, off}, {SpeedButton10, off}, {Button22, off}};
    MaintenanceOff = {{Button18, on}, {Button19, off},     {Panel3, off}, {BtnCalibStar, on},
                      {Button7, on},  {SpeedButton10, on}, {Button22, on}};
}

void TForm1::ApplyEnabled(const TEnabledStates& states) {
    for (const TEnabledState& s : states) {
        s.control->setEnabled(s.enabled);
    }
}

void TForm1::ApplyLinkState(bool TLinkEnabledState::*column) {
    for (const TLinkEnabledState& row : LinkStates) {
        row.control->setEnabled(row.*column);
    }
}

std::array<QWidget*, 12> TForm1::SwitchRepeatLockedControls(QWidget* otherSwitchButton) const {
    return {otherSwitchButton, BtnCalibStar, Button9,  Button10, Button11, Button12,
            Button13,          Button14,     Button17, Button7,  Button8,  Button18};
}

void TForm1::SetLinkLamps(const QColor& colour) {
    for (TShape* s : {Shape1, Shape2, Shape3}) {
        s->SetBrushColor(colour);
    }
}

void TForm1::GreySwitchDigits(std::span<QLabel* const> digits) {
    for (QLabel* l : digits) {
        SetBackgroundColor(l, colours::Grey);
    }
}

std::array<QLabel*, 6> TForm1::ExchangeSensorLabels() const {
    return {Label40, Label41, Label43, Label44, Label45, Label46};
}
